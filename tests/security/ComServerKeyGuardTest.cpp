#include "programwide/LauncherState.h"
#include "security/ComServerKeyGuard.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/RestrictedImpersonation.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestRegistryKey.h"
#include "tests/support/WineVersion.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <stdio.h>
#include <memory>

namespace {

const char clsidPath[] = "software\\classes\\clsid\\{73B24247-042E-4EF5-ADC2-42F62E6FD654}";
const char guardedPath[] =
    "software\\classes\\clsid\\{73B24247-042E-4EF5-ADC2-42F62E6FD654}\\InprocServer32";
// What the key has before a run: distinctive, and open to this test.
const char startDacl[] = "D:(A;CI;KA;;;WD)(A;;KR;;;S-1-5-21-1-2-3-1001)";

// The DACL of HKLM\guardedPath as SDDL text, read from the key; empty when
// the key or its security cannot be read.
std::string KeyDaclText()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedPath, 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return std::string();
    BYTE descriptor[4096];
    DWORD size = sizeof descriptor;
    LONG status = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor, &size);
    RegCloseKey(key);
    char* text = nullptr;
    if (status != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return std::string();
    std::string result = text;
    LocalFree(text);
    return result;
}

bool SetKeyDacl(const char* sddl)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedPath, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool set = ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr) &&
               RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
    RegCloseKey(key);
    return set;
}

// The one entry of the lock, read from the key.
void ExpectLocked()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::string text = KeyDaclText();
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr)) << text;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::vector<AceFacts> aces = ReadAces(dacl);
    LocalFree(descriptor);
    ASSERT_EQ(1u, aces.size()) << text;
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[0].type);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, aces[0].flags);
    EXPECT_EQ("S-1-5-32-544", aces[0].sid);
    GENERIC_MAPPING keyMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
    DWORD mask = aces[0].mask;
    MapGenericMask(&mask, &keyMapping);
    EXPECT_EQ((DWORD)KEY_ALL_ACCESS, mask) << std::hex << aces[0].mask;
}

}  // namespace

class ComServerKeyGuardTest : public testing::Test {
protected:
    void SetUp() override
    {
        memcpy(savedCaption_, g_launcher.productCaption, sizeof savedCaption_);
        caption_ = "QuilletGuardTest-" + std::to_string(GetCurrentProcessId());
        vendorExisted_ = RegistryKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Orvane");
        snprintf(g_launcher.productCaption, sizeof g_launcher.productCaption, "%s", caption_.c_str());
        product_ = std::make_unique<TestRegistryKey>(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\" + caption_);
        settingsPath_ = product_->path() + "\\Main";
        ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, settingsPath_.c_str()));
        machineVendorExisted_ = RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane");
        snapshotPath_ = "SOFTWARE\\Orvane\\" + caption_ + "\\Lock";

        clsidExisted_ = RegistryKeyExists(HKEY_LOCAL_MACHINE, clsidPath);
        keyExisted_ = RegistryKeyExists(HKEY_LOCAL_MACHINE, guardedPath);
        if (keyExisted_)
            foundDacl_ = KeyDaclText();
    }

    // Puts back exactly what the machine had: the key's own DACL, or no key.
    void TearDown() override
    {
        if (keyExisted_) {
            EXPECT_TRUE(SetKeyDacl(foundDacl_.c_str()));
        } else {
            SetKeyDacl("D:(A;;KA;;;WD)");
            DeleteRegistryTree(HKEY_LOCAL_MACHINE, clsidExisted_ ? guardedPath : clsidPath);
            EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, guardedPath));
        }
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\" + caption_);
        if (!machineVendorExisted_)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane");
        product_.reset();
        if (!vendorExisted_)  // fails, as it should, while another test uses it
            RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Orvane");
        memcpy(g_launcher.productCaption, savedCaption_, sizeof savedCaption_);
    }

    static bool CreateKey(HKEY root, const char* path)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // The guarded key with the DACL a run finds.
    void MakeGuardedKey(const char* dacl = startDacl)
    {
        ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, guardedPath));
        ASSERT_TRUE(SetKeyDacl(dacl));
        before_ = KeyDaclText();
        ASSERT_FALSE(before_.empty());
    }

    // The snapshot, in the machine's key that only administrators write.
    bool SavedTextExists(DWORD* type = nullptr, DWORD* size = nullptr) const
    {
        return ValueExists(HKEY_LOCAL_MACHINE, snapshotPath_, type, size);
    }

    static bool ValueExists(HKEY root, const std::string& path, DWORD* type = nullptr, DWORD* size = nullptr)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD t = 0, s = 0;
        bool exists = RegQueryValueExA(key, "SaveSD0", nullptr, &t, nullptr, &s) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (type)
            *type = t;
        if (size)
            *size = s;
        return exists;
    }

    // The names of the holder values beside the snapshot.
    std::vector<std::string> Holders() const
    {
        std::vector<std::string> holders;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return holders;
        char name[64];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            LONG status = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) break;
            if (strncmp(name, "Holder", 6) == 0)
                holders.push_back(name);
        }
        RegCloseKey(key);
        return holders;
    }

    static std::string HolderName(DWORD processId)
    {
        char name[32];
        snprintf(name, sizeof name, "Holder%08X", (unsigned)processId);
        return name;
    }

    bool ProductKeyGone() const
    {
        return !RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\" + caption_);
    }

    std::string SavedDaclText() const
    {
        std::string text;
        if (!ReadRegistryText(HKEY_LOCAL_MACHINE, snapshotPath_, "SaveSD0", text))
            return "(no text)";
        return text;
    }

    std::string caption_;
    std::string settingsPath_;
    std::string snapshotPath_;
    std::string before_;
    std::unique_ptr<TestRegistryKey> product_;

    bool KeyExisted() const { return keyExisted_; }

private:
    char savedCaption_[sizeof g_launcher.productCaption];
    bool vendorExisted_ = false;
    bool machineVendorExisted_ = false;
    bool clsidExisted_ = false;
    bool keyExisted_ = false;
    std::string foundDacl_;
};

TEST_F(ComServerKeyGuardTest, NormalRunLocksThenRestoresWhatItFound)
{
    MakeGuardedKey();
    LockComServerKey();
    ExpectLocked();
    DWORD type = 0, size = 0;
    ASSERT_TRUE(SavedTextExists(&type, &size));
    EXPECT_EQ((DWORD)REG_SZ, type);
    std::string saved = SavedDaclText();
    EXPECT_EQ(before_, saved);
    EXPECT_EQ(saved.size() + 1, size) << "the terminator belongs to the data";
    {
        // The browser's token gets nothing from the locked key.
        RestrictedImpersonation browser;
        ASSERT_TRUE(browser.Active());
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedPath, 0, KEY_QUERY_VALUE, &key));
        // Nor can it write the snapshot that the next run would apply.
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, KEY_SET_VALUE, &key));
    }
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, settingsPath_)) << "nothing in the user's settings";
    EXPECT_EQ(std::vector<std::string>{HolderName(GetCurrentProcessId())}, Holders());

    RestoreComServerKey();
    EXPECT_EQ(before_, KeyDaclText());
    EXPECT_FALSE(SavedTextExists());
    EXPECT_TRUE(ProductKeyGone()) << "the run leaves no machine-wide key behind";
    RestoreComServerKey();  // nothing left to put back
    EXPECT_EQ(before_, KeyDaclText());
}

TEST_F(ComServerKeyGuardTest, KeyThatCannotBeOpenedFullyIsLeftAlone)
{
    static const struct {
        const char* name;
        const char* dacl;  // null: no key at all
    } cases[] = {{"read-only key", "D:(A;;KR;;;WD)"}, {"no key", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.dacl) {
            MakeGuardedKey(c.dacl);
        } else if (KeyExisted()) {
            continue;  // the machine's own key is never removed
        } else {
            SetKeyDacl("D:(A;;KA;;;WD)");
            DeleteRegistryTree(HKEY_LOCAL_MACHINE, guardedPath);
            ASSERT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, guardedPath));
        }
        LockComServerKey();
        EXPECT_FALSE(SavedTextExists());
        EXPECT_EQ(c.dacl ? before_ : std::string(), KeyDaclText());
        RestoreComServerKey();
        EXPECT_EQ(c.dacl ? before_ : std::string(), KeyDaclText());
    }
}

TEST_F(ComServerKeyGuardTest, CrashedRunIsUndoneAtTheNextExit)
{
    MakeGuardedKey();
    std::string probe = Quoted(TestModuleDirectory() + "security_probe.exe") + " lock " + caption_;
    ASSERT_EQ(9u, RunProcess(probe, 30000)) << "the probe must end without restoring";
    ExpectLocked();
    std::string locked = KeyDaclText();
    ASSERT_EQ(before_, SavedDaclText());
    ASSERT_EQ(1u, Holders().size()) << "the probe holds the lock";

    // The next start finds the text: the key stays as it is, locked once,
    // and the dead holder makes way for this one.
    LockComServerKey();
    EXPECT_EQ(locked, KeyDaclText());
    EXPECT_EQ(before_, SavedDaclText());
    EXPECT_EQ(std::vector<std::string>{HolderName(GetCurrentProcessId())}, Holders());
    RestoreComServerKey();
    EXPECT_EQ(before_, KeyDaclText());
    EXPECT_FALSE(SavedTextExists());
}

// One bad snapshot must not switch the lock off for every later run.
TEST_F(ComServerKeyGuardTest, UnusableSnapshotIsRemovedAndTheKeyLocked)
{
    static const struct {
        const char* name;
        DWORD type;
        const char* data;
        DWORD size;
    } cases[] = {
        {"REG_DWORD", REG_DWORD, "\1\0\0\0", 4},
        {"not SDDL", REG_SZ, "not a descriptor", 17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGuardedKey();
        LockComServerKey();
        RestoreComServerKey();
        ASSERT_EQ(before_, KeyDaclText());
        // The key as a run makes it, with this value in it.
        ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, snapshotPath_.c_str()));
        HKEY snapshot = nullptr;
        PSECURITY_DESCRIPTOR runs = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "O:BAD:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)", SDDL_REVISION_1, &runs, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, WRITE_DAC | WRITE_OWNER, &snapshot));
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(snapshot, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, runs));
        RegCloseKey(snapshot);
        LocalFree(runs);
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, KEY_SET_VALUE, &snapshot));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(snapshot, "SaveSD0", 0, c.type, (const BYTE*)c.data, c.size));
        RegCloseKey(snapshot);

        LockComServerKey();
        ExpectLocked();
        EXPECT_EQ(before_, SavedDaclText()) << "the bad value makes way for the real one";
        RestoreComServerKey();
        EXPECT_EQ(before_, KeyDaclText());
        EXPECT_FALSE(SavedTextExists());
    }
}

// The restricted browser can write the user's settings, where earlier
// versions kept the snapshot: what it writes there is never applied.
TEST_F(ComServerKeyGuardTest, SnapshotForgedByTheBrowserIsNeverApplied)
{
    static const struct {
        const char* name;
        const char* keyDacl;   // what the key holds when the run starts
    } cases[] = {
        {"key as found", startDacl},
        {"key left locked", "D:(A;OICI;GA;;;BA)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGuardedKey(c.keyDacl);
        {
            RestrictedImpersonation browser;
            ASSERT_TRUE(browser.Active());
            const char forged[] = "D:(A;OICI;GA;;;WD)";
            HKEY settings = nullptr;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegOpenKeyExA(HKEY_CURRENT_USER, settingsPath_.c_str(), 0, KEY_SET_VALUE, &settings));
            EXPECT_EQ(ERROR_SUCCESS,
                      RegSetValueExA(settings, "SaveSD0", 0, REG_SZ, (const BYTE*)forged, sizeof forged));
            RegCloseKey(settings);
            HKEY machine = nullptr;
            LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &machine, nullptr);
            if (created == ERROR_SUCCESS) {
                RegSetValueExA(machine, "SaveSD0", 0, REG_SZ, (const BYTE*)forged, sizeof forged);
                RegCloseKey(machine);
            }
            // WINE_GAP: a Wine prefix lets every token create keys under
            // HKLM\Software; Windows lets Users only read there. The run
            // below must not trust such a key either way.
            if (!RunningOnWine())
                EXPECT_NE(ERROR_SUCCESS, created);
            else
                EXPECT_EQ(ERROR_SUCCESS, created);
        }
        ASSERT_TRUE(ValueExists(HKEY_CURRENT_USER, settingsPath_));

        LockComServerKey();
        ExpectLocked();
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, settingsPath_)) << "the forged text is removed";
        RestoreComServerKey();
        EXPECT_EQ(before_, KeyDaclText());
        EXPECT_FALSE(SavedTextExists());
    }
}

// A second run while another run's lock is in place (another user's, with
// a snapshot of its own) must not take the lock for the original: when the
// other run has put the real DACL back, this one's exit must leave it.
TEST_F(ComServerKeyGuardTest, TheLockItselfIsNeverSavedAsTheOriginal)
{
    static const char* const lockDaclTexts[] = {"D:(A;OICI;GA;;;BA)", "D:(A;OICI;KA;;;BA)"};
    for (const char* lockDacl : lockDaclTexts) {
        SCOPED_TRACE(lockDacl);
        MakeGuardedKey(lockDacl);
        LockComServerKey();
        ExpectLocked();
        EXPECT_FALSE(SavedTextExists());
        ASSERT_TRUE(SetKeyDacl(startDacl));   // the other run's exit
        std::string real = KeyDaclText();
        RestoreComServerKey();
        EXPECT_EQ(real, KeyDaclText());
        EXPECT_TRUE(ProductKeyGone()) << "a run that did not lock leaves no machine-wide key";
    }
}

// The snapshot is saved before the lock goes on: a run that cannot save it
// does not lock, so that no lock is ever left without a record.
TEST_F(ComServerKeyGuardTest, SnapshotThatCannotBeSavedLeavesTheKeyUnlocked)
{
    MakeGuardedKey();
    // A snapshot key that only Administrators and SYSTEM could write, and
    // that nobody may write now.
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, snapshotPath_.c_str()));
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:P(A;OICI;KR;;;BA)(A;OICI;KR;;;SY)",
                                                                     SDDL_REVISION_1, &readOnly, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, WRITE_DAC | WRITE_OWNER, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, readOnly));
    LocalFree(readOnly);

    LockComServerKey();
    EXPECT_EQ(before_, KeyDaclText());
    EXPECT_FALSE(SavedTextExists());
    RestoreComServerKey();
    EXPECT_EQ(before_, KeyDaclText());
    // The test's own key goes again.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;KA;;;BA)", SDDL_REVISION_1, &open,
                                                                     nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, open));
    LocalFree(open);
    RegCloseKey(key);
}

// With fast user switching every session runs an instance, and all share
// the one snapshot. Only the last live holder gives the key back; the
// uninstall gives back a snapshot that no running instance holds.
TEST_F(ComServerKeyGuardTest, TheLastLiveHolderGivesTheKeyBack)
{
    static const struct {
        const char* name;
        LONGLONG timeShift;   // the recorded creation time against the real one
        bool holds;
    } cases[] = {
        {"another session's instance runs", 0, true},
        {"its id is another process's now", 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGuardedKey();
        LockComServerKey();
        ExpectLocked();
        TestFile report = TestFile::InTemp("holder-standin");
        TestProcess other;
        ASSERT_TRUE(other.Start(StandinCommand(report.path(), "--stay=30000")));
        FILETIME created, exited, kernel, user;
        ASSERT_TRUE(GetProcessTimes(other.Handle(), &created, &exited, &kernel, &user));
        ULARGE_INTEGER recorded = {{created.dwLowDateTime, created.dwHighDateTime}};
        recorded.QuadPart += c.timeShift;
        HKEY lock = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, snapshotPath_.c_str(), 0, KEY_SET_VALUE, &lock));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(lock, HolderName(other.Id()).c_str(), 0, REG_BINARY,
                                                (const BYTE*)&recorded, sizeof recorded));
        RegCloseKey(lock);

        RestoreComServerKey();
        if (c.holds) {
            ExpectLocked();
            EXPECT_EQ(before_, SavedDaclText());
            EXPECT_EQ(std::vector<std::string>{HolderName(other.Id())}, Holders());
            EXPECT_TRUE(RestoreUnheldKeyLock());
            ExpectLocked();
            other.Kill();
            ASSERT_TRUE(other.Wait(5000));
            EXPECT_TRUE(RestoreUnheldKeyLock());
        }
        EXPECT_EQ(before_, KeyDaclText());
        EXPECT_FALSE(SavedTextExists());
        EXPECT_TRUE(ProductKeyGone());
    }
}

// What a crashed run left, the uninstall puts back.
TEST_F(ComServerKeyGuardTest, UninstallGivesACrashedRunsSnapshotBack)
{
    MakeGuardedKey();
    EXPECT_TRUE(RestoreUnheldKeyLock());   // nothing to give back
    EXPECT_EQ(before_, KeyDaclText());
    std::string probe = Quoted(TestModuleDirectory() + "security_probe.exe") + " lock " + caption_;
    ASSERT_EQ(9u, RunProcess(probe, 30000)) << "the probe must end without restoring";
    ExpectLocked();
    EXPECT_TRUE(RestoreUnheldKeyLock());
    EXPECT_EQ(before_, KeyDaclText());
    EXPECT_FALSE(SavedTextExists());
    EXPECT_TRUE(ProductKeyGone());
}
