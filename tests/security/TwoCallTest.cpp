#include "common/TwoCall.h"
#include "tests/support/TestRegistryKey.h"

#include <gtest/gtest.h>
#include <string.h>

// A REG_SZ value read the two-call way through the ANSI API: the size asked
// for first may be larger than what the read then returns.
TEST(TwoCall, ReadsValuesAroundTheStackLimit)
{
    TestRegistryKey key("two-call");
    ASSERT_TRUE(key);
    for (size_t length : {0u, 100u, 1023u, 1024u, 1500u, 5000u}) {
        SCOPED_TRACE(length);
        std::string text(length, 'q');
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "Text", 0, REG_SZ, (const BYTE*)text.c_str(),
                                                (DWORD)length + 1));
        DWORD type = 0, asked = 0;
        StackOrHeapBuffer<1024> buffer;
        ASSERT_TRUE(ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
            *needed = size;
            bool ok = ReportStatus(RegQueryValueExA(key.get(), "Text", nullptr, &type, (BYTE*)data, needed));
            if (!data)
                asked = *needed;
            return ok;
        }));
        EXPECT_EQ((DWORD)REG_SZ, type);
        EXPECT_GE(asked, length + 1);
        ASSERT_EQ(length + 1, buffer.size()) << "asked for " << asked;
        EXPECT_EQ(0, memcmp(text.c_str(), buffer.data(), length + 1));
    }
}

// Another writer shortens the value between the two calls: the bytes read
// must survive the buffer shrinking below the stack limit.
TEST(TwoCall, KeepsBytesWhenTheValueShrinksBetweenCalls)
{
    TestRegistryKey key("two-call-shrink");
    ASSERT_TRUE(key);
    std::string longText(1500, 'l'), shortText(100, 's');
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "Text", 0, REG_SZ, (const BYTE*)longText.c_str(),
                                            (DWORD)longText.size() + 1));
    StackOrHeapBuffer<1024> buffer;
    ASSERT_TRUE(ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
        *needed = size;
        LONG status = RegQueryValueExA(key.get(), "Text", nullptr, nullptr, (BYTE*)data, needed);
        if (!data)
            RegSetValueExA(key.get(), "Text", 0, REG_SZ, (const BYTE*)shortText.c_str(),
                           (DWORD)shortText.size() + 1);
        return ReportStatus(status);
    }));
    ASSERT_EQ(shortText.size() + 1, buffer.size());
    EXPECT_STREQ(shortText.c_str(), (const char*)buffer.data());

    SetLastError(0xdeadbeef);
    std::vector<BYTE> missing;
    EXPECT_FALSE(ReadTwoCall(missing, [&](void* data, DWORD size, DWORD* needed) {
        *needed = size;
        return ReportStatus(RegQueryValueExA(key.get(), "Missing", nullptr, nullptr, (BYTE*)data, needed));
    }));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}
