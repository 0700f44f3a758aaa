#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

TEST(UniqueHandle, ClosesOnScopeExitAndKeepsTheLastError)
{
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    {
        unique_handle owner(copy);
        EXPECT_TRUE(owner.is_valid());
        SetLastError(0xdeadbeef);
    }
    EXPECT_EQ(0xdeadbeefu, GetLastError());

    // The duplicate is gone: waiting on it fails, the original still works.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(copy, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(raw, 0));
    CloseHandle(raw);
}

TEST(UniqueHandle, FileOwnerTreatsInvalidHandleValueAsEmpty)
{
    unique_file none;
    EXPECT_FALSE(none.is_valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, none.get());

    unique_handle empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(nullptr, empty.release());
}

TEST(UniqueHandle, ReleaseGivesTheHandleUpAndMoveTransfersIt)
{
    unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.put()));
    HKEY raw = key.get();
    unique_hkey moved(std::move(key));
    EXPECT_FALSE(key.is_valid());
    EXPECT_EQ(raw, moved.get());
    HKEY given = moved.release();
    EXPECT_FALSE(moved.is_valid());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(given));
}
