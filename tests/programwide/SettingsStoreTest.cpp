#include "programwide/SettingsStore.h"
#include "tests/support/SettingsFixture.h"

#include <cstring>

using SettingsStoreTest = SettingsFixture;

TEST_F(SettingsStoreTest, ReadsBeforeTheKeyExistsKeepTheDefaultsAndCreateNothing)
{
    struct { const char* name; DWORD initial; } cases[] = {
        {"Log", 0}, {"Key", 0}, {"RunShow", 5}, {"WhileShow", 0xdeadbeef},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD value = c.initial;
        ReadSetting(c.name, value);
        EXPECT_EQ(c.initial, value);
    }
    EXPECT_FALSE(MainKeyExists());
}

TEST_F(SettingsStoreTest, FirstWriteCreatesTheKeyWithADwordValue)
{
    WriteSetting("Key", 0x100000);
    ASSERT_TRUE(MainKeyExists());

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, MainKey().c_str(), 0, KEY_READ, &key));
    DWORD type = 0xdeadbeef, data = 0xdeadbeef, size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Key", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size));
    RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0x100000u, data);

    DWORD value = 0;
    ReadSetting("Key", value);
    EXPECT_EQ(0x100000u, value);

    WriteSetting("Key", 0x101112);
    ReadSetting("Key", value);
    EXPECT_EQ(0x101112u, value);
}

TEST_F(SettingsStoreTest, ValuesOfOtherTypesAreReadAsTheirRawBytes)
{
    // A REG_SZ "5" is the bytes '5', NUL: over the default 5 it gives 0x35, so
    // "RunShow" is then not 5 and the startup dialog stays away.
    StoreValue("RunShow", REG_SZ, "5", 2);
    DWORD runShow = 5;
    ReadSetting("RunShow", runShow);
    EXPECT_EQ(0x35u, runShow);

    // Fewer than four bytes overwrite only the low bytes of the default.
    const BYTE one = 0x01;
    StoreValue("Log", REG_BINARY, &one, 1);
    DWORD log = 0xAABBCCDD;
    ReadSetting("Log", log);
    EXPECT_EQ(0xAABBCC01u, log);

    const DWORD big = 0x12345678;
    StoreValue("Key", REG_DWORD_BIG_ENDIAN, &big, 4);
    DWORD key = 0;
    ReadSetting("Key", key);
    EXPECT_EQ(0x12345678u, key);
}

TEST_F(SettingsStoreTest, ValuesLongerThanFourBytesLeaveTheDefault)
{
    StoreValue("RunShow", REG_SZ, "12345", 6);
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    StoreValue("Key", REG_BINARY, eight, sizeof eight);
    StoreValue("Log", REG_BINARY, "", 0);

    DWORD runShow = 5, key = 0xdeadbeef, log = 0xdeadbeef;
    ReadSetting("RunShow", runShow);
    ReadSetting("Key", key);
    ReadSetting("Log", log);
    EXPECT_EQ(5u, runShow);
    EXPECT_EQ(0xdeadbeefu, key);
    EXPECT_EQ(0xdeadbeefu, log);   // an empty value holds no bytes to copy
}

TEST_F(SettingsStoreTest, KeyPathFollowsTheProductCaption)
{
    WriteSetting("RunShow", 0);
    char other[100];
    std::strcpy(other, g_launcher.productCaption);
    lstrcatA(g_launcher.productCaption, "-Other");
    SHDeleteKeyA(HKEY_CURRENT_USER, ProductKey().c_str());

    DWORD runShow = 5;
    ReadSetting("RunShow", runShow);
    EXPECT_EQ(5u, runShow);
    EXPECT_FALSE(MainKeyExists());

    lstrcpyA(g_launcher.productCaption, other);
    ReadSetting("RunShow", runShow);
    EXPECT_EQ(0u, runShow);
}
