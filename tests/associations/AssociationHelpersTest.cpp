#include "associations/AssociationManager.h"
#include "tests/associations/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kProduct[] = "HelperTest";
const char kSavePath[] = "SOFTWARE\\Orvane\\HelperTest\\Save";

class AssociationHelpers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sandbox.ok()); }

    // The manager learns its product name through an entry point.
    void Bind(AssociationManager& manager, HKEY root = HKEY_CURRENT_USER)
    {
        manager.IsTakenOver("C:\\Tools\\Quillet\\Quillet.exe", kProduct, root);
    }

    RegistrySandbox sandbox;
};

TEST_F(AssociationHelpers, BufferGrowsByWholeKilobytesOfTheRequest)
{
    AssociationManager manager;
    EXPECT_EQ(0u, manager.BufferCapacity());
    EXPECT_FALSE(manager.ReserveBuffer(0));
    EXPECT_EQ(0u, manager.BufferCapacity());

    struct { DWORD request; DWORD capacity; } steps[] = {
        {1024, 1024}, {1500, 3072}, {1000, 3072}, {3072, 3072}, {3073, 7168},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.request);
        EXPECT_TRUE(manager.ReserveBuffer(step.request));
        EXPECT_EQ(step.capacity, manager.BufferCapacity());
    }
    EXPECT_FALSE(manager.ReserveBuffer(0xFFFFFFF0u));
    EXPECT_EQ(7168u, manager.BufferCapacity());
    manager.FreeBuffer();
    EXPECT_EQ(0u, manager.BufferCapacity());
    EXPECT_TRUE(manager.ReserveBuffer(10));
    EXPECT_EQ(10u, manager.BufferCapacity());
}

TEST_F(AssociationHelpers, ValuesReadAsZeroTerminatedText)
{
    const std::string path = "Software\\Values";
    PutKey(HKEY_CURRENT_USER, path);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    const std::string longText(5000, 'x');
    RegSetValueExA(key, "empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
    RegSetValueExA(key, "unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdef"), 3);
    RegSetValueExA(key, "binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("xyz"), 3);
    RegSetValueExA(key, "long", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                   static_cast<DWORD>(longText.size() + 1));

    struct { const char* name; bool read; DWORD type; std::string text; } cases[] = {
        {"empty", true, REG_SZ, ""},
        {"unterminated", true, REG_SZ, "abc"},
        {"binary", true, REG_BINARY, "xyz"},
        {"long", true, REG_EXPAND_SZ, longText},
        {"absent", false, 0xdeadbeef, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AssociationManager manager;
        ASSERT_TRUE(manager.ReserveBuffer(1024));
        // A canary over the whole buffer shows that the text ends where the
        // value does.
        std::memset(const_cast<char*>(manager.Value()), '#', manager.BufferCapacity());
        DWORD type = 0xdeadbeef;
        EXPECT_EQ(c.read, manager.ReadValue(key, &type, c.name));
        if (c.read) {
            EXPECT_EQ(c.type, type);
        }
        EXPECT_EQ(c.text, manager.Value());
        EXPECT_GE(manager.BufferCapacity(), c.text.size() + 1);
    }
    RegCloseKey(key);

    AssociationManager manager;
    EXPECT_FALSE(manager.ReadValue(HKEY_CURRENT_USER, nullptr, "anything")) << "no buffer reserved";
}

TEST_F(AssociationHelpers, WriteValueStoresTheTerminatingZero)
{
    const std::string path = "Software\\Values";
    PutKey(HKEY_CURRENT_USER, path);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    AssociationManager manager;
    EXPECT_TRUE(manager.WriteValue(key, REG_SZ, "open", nullptr));
    EXPECT_TRUE(manager.WriteValue(key, REG_EXPAND_SZ, nullptr, "none"));
    DWORD type = 0, size = 64;
    BYTE data[64];
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, nullptr, nullptr, &type, data, &size));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(5u, size);
    size = 64;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "none", nullptr, &type, data, &size));
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
    EXPECT_EQ(0u, size);
    RegCloseKey(key);
}

TEST_F(AssociationHelpers, RootNamesAndSaveRecordNames)
{
    EXPECT_STREQ("HKCU", AssociationManager::RootName(HKEY_CURRENT_USER));
    EXPECT_STREQ("HKLM", AssociationManager::RootName(HKEY_LOCAL_MACHINE));
    EXPECT_STREQ("HKCR", AssociationManager::RootName(HKEY_CLASSES_ROOT));
    EXPECT_EQ("HKLM_>:Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32",
              AssociationManager::SaveRecordName(
                  HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32"));
    EXPECT_EQ("HKCU_>:Software\\Classes\\.htm", AssociationManager::SaveRecordName(HKEY_CURRENT_USER, "Software\\Classes\\.htm"));
}

TEST_F(AssociationHelpers, OpenHKEYCreatesOnlyWhenAskedAndOpensOnce)
{
    AssociationManager manager;
    Bind(manager);
    EXPECT_FALSE(manager.OpenHKEY(FOLDER_SAVE, false));
    EXPECT_EQ(nullptr, manager.FolderKey(FOLDER_SAVE));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSavePath));
    EXPECT_FALSE(manager.OpenHKEY(FOLDER_SAVE, false, HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSavePath));

    ASSERT_TRUE(manager.OpenHKEY(FOLDER_SAVE, true));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSavePath));
    HKEY first = manager.FolderKey(FOLDER_SAVE);
    // Open already: another root is not even looked at.
    EXPECT_TRUE(manager.OpenHKEY(FOLDER_SAVE, true, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(first, manager.FolderKey(FOLDER_SAVE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSavePath));

    EXPECT_EQ(nullptr, manager.FolderKey(FOLDER_MAIN));
    ASSERT_TRUE(manager.OpenHKEY(FOLDER_MAIN, true, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\HelperTest\\Main"));
    manager.CloseHKEY(FOLDER_MAIN);
    manager.CloseHKEY(FOLDER_SAVE);
    EXPECT_EQ(nullptr, manager.FolderKey(FOLDER_SAVE));
}

TEST_F(AssociationHelpers, KeyCopyGoesIntoTheSaveAreaAndComesBack)
{
    const std::string path = "Software\\Classes\\htmlfile";
    WriteBrowserClasses(HKEY_CURRENT_USER);
    const std::string before = DumpTree(HKEY_CURRENT_USER, path);
    AssociationManager manager;
    Bind(manager);
    ASSERT_TRUE(manager.SaveKeyCopy(path, HKEY_CURRENT_USER));
    std::string saved = DumpTree(HKEY_CURRENT_USER, std::string(kSavePath) + "\\" + path);
    EXPECT_NE(std::string::npos, saved.find("shell\\open\\ddeexec\\Application]"));

    PutValue(HKEY_CURRENT_USER, path + "\\shell\\open\\command", nullptr, "other.exe %1");
    PutValue(HKEY_CURRENT_USER, path + "\\shell\\extra", nullptr, "added");
    ASSERT_TRUE(manager.RestoreKeyCopy(path, HKEY_CURRENT_USER));
    EXPECT_EQ(before, DumpTree(HKEY_CURRENT_USER, path));

    // A second copy replaces the first instead of mixing with it.
    RemoveKey(HKEY_CURRENT_USER, path + "\\shell\\print");
    ASSERT_TRUE(manager.SaveKeyCopy(path, HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kSavePath) + "\\" + path + "\\shell\\print"));

    EXPECT_FALSE(manager.SaveKeyCopy("Software\\Classes\\nosuchclass", HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kSavePath) + "\\Software\\Classes\\nosuchclass"));
    EXPECT_FALSE(manager.RestoreIncomplete());
}

TEST_F(AssociationHelpers, VanishedCopyLeavesTheCurrentKeyAlone)
{
    const std::string path = "Software\\Classes\\.htm";
    PutValue(HKEY_CURRENT_USER, path, nullptr, "userclass");
    PutValue(HKEY_CURRENT_USER, kSavePath, "HKCU_>:Software\\Classes\\.htm", "-@RESTORE");
    const std::string before = DumpTree(HKEY_CURRENT_USER, path);

    AssociationManager manager;
    Bind(manager);
    ASSERT_TRUE(manager.OpenHKEY(FOLDER_SAVE, false));
    // Nothing can come back: the key stays as it is, less Quillet (which an
    // extension never names), and the record goes, so the restore can end.
    EXPECT_TRUE(manager.RestoreKeyCopy(path, HKEY_CURRENT_USER));
    manager.CloseHKEY(FOLDER_SAVE);
    EXPECT_EQ(before, DumpTree(HKEY_CURRENT_USER, path));
    EXPECT_EQ("<missing>", GetValue(HKEY_CURRENT_USER, kSavePath, "HKCU_>:Software\\Classes\\.htm"));
    EXPECT_FALSE(manager.RestoreIncomplete());

    // Through the whole restore as well: the key stays as it is.
    PutValue(HKEY_CURRENT_USER, kSavePath, "HKCU_>:Software\\Classes\\.htm", "-@RESTORE");
    manager.RestoreAssociations("C:\\Tools\\Quillet\\Quillet.exe", kProduct, HKEY_CURRENT_USER);
    EXPECT_EQ(before, DumpTree(HKEY_CURRENT_USER, path));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSavePath));
}

TEST_F(AssociationHelpers, LinesGoToTheLogFileOnlyWhileOneIsSet)
{
    TestLogFile log("assoc-logpath");
    AssociationManager manager;
    manager.SetLogFile(log.path());
    manager.RunErrorTest("C:\\Q.exe", kProduct, HKEY_CURRENT_USER, BeforeTakeover);
    EXPECT_EQ(0u, log.Contents().find("...>Start Error Test ( HKCU )\r"));

    const std::string longPath = std::string(log.path()) + std::string(400, 'z');
    manager.SetLogFile(longPath.c_str());
    manager.SetLogFile(nullptr);
    log.Clear();
    manager.RunErrorTest("C:\\Q.exe", kProduct, HKEY_CURRENT_USER, BeforeTakeover);
    EXPECT_EQ("", log.Contents());
}

} // namespace
