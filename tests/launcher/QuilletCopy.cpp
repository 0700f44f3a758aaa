#include "tests/launcher/QuilletCopy.h"
#include "common/UniqueHandle.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestPaths.h"

#include <shlwapi.h>

namespace {

const char kProductKey[] = "SOFTWARE\\Orvane\\Quillet";
const char kMainKey[] = "SOFTWARE\\Orvane\\Quillet\\Main";
const char* const kTouchedValues[] = {"Log", "Key", "RunShow", "WhileShow"};

bool KeyExists(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    unique_hkey owner(key);
    return true;
}

} // namespace

QuilletCopy::QuilletCopy()
{
    folder_ = TempFilePath("quillet-copy") + "\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
    CopyFileA(BuiltBinary("Quillet.exe").c_str(), Program().c_str(), FALSE);
    CopyFileA(BuiltBinary("Spirel.dll").c_str(), (folder_ + "Spirel.dll").c_str(), FALSE);
}

QuilletCopy::~QuilletCopy()
{
    for (const char* name : {"Quillet.exe", "Spirel.dll", "HookWnd.log", "ErrorBrowser.log"}) {
        std::string path = folder_ + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(folder_.c_str());
}

DWORD QuilletCopy::Run(const std::string& arguments, DWORD timeout, std::vector<SeenMessageBox>* boxes,
                        WORD answer) const
{
    TestProcess quillet;
    if (!quillet.Start(Quoted(Program()) + " " + arguments))
        return ~0u;
    MessageBoxWatcher watcher(boxes ? quillet.ThreadId() : 0, answer);
    DWORD exitCode = quillet.WaitOrKill(timeout);
    if (boxes)
        *boxes = watcher.Stop();
    return exitCode;
}

ProductSettings::ProductSettings() : productKeyExisted_(KeyExists(kProductKey))
{
    for (int i = 0; i < 4; ++i) {
        Saved& saved = saved_[i];
        saved.name = kTouchedValues[i];
        DWORD size = sizeof saved.value;
        saved.existed = SHGetValueA(HKEY_CURRENT_USER, kMainKey, saved.name, nullptr, &saved.value, &size) ==
                        ERROR_SUCCESS;
    }
}

ProductSettings::~ProductSettings()
{
    if (!productKeyExisted_) {
        SHDeleteKeyA(HKEY_CURRENT_USER, kProductKey);
        return;
    }
    for (const Saved& saved : saved_) {
        if (saved.existed)
            SHSetValueA(HKEY_CURRENT_USER, kMainKey, saved.name, REG_DWORD, &saved.value, sizeof saved.value);
        else
            SHDeleteValueA(HKEY_CURRENT_USER, kMainKey, saved.name);
    }
}

void ProductSettings::Set(const char* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMainKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    unique_hkey owner(key);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
