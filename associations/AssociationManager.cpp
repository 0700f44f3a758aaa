#include "associations/AssociationManager.h"

#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/RegistryChangeCount.h"

#include <cstring>
#include <new>

const char kSaveRestore[] = "-@RESTORE";
const char kSaveDelete[] = "-@DELETE";

namespace {

constexpr DWORD kBufferGrain = 1024;

} // namespace

AssociationManager::AssociationManager() noexcept = default;

void AssociationManager::SetLogFile(const char* path) noexcept
{
    char kept[MAX_PATH];
    lstrcpynA(kept, path ? path : "", sizeof kept);
    log_.SetFile(kept);
}

void AssociationManager::StoreOperands(const char* programPath, const char* productName, HKEY root) noexcept
{
    programPath_ = programPath;
    productName_ = productName;
    root_ = root;
}

bool AssociationManager::ReserveBuffer(DWORD size) noexcept
{
    try {
        if (buffer_.empty() || capacity_ == 0) {
            buffer_.assign(size, '\0');
            capacity_ = size;
        } else if (size > capacity_) {
            if (size > MAXDWORD - kBufferGrain)
                return false;
            DWORD growth = (size + kBufferGrain - 1) / kBufferGrain * kBufferGrain;
            if (growth > MAXDWORD - capacity_)
                return false;
            buffer_.resize(capacity_ + growth);
            capacity_ += growth;
        }
    } catch (const std::bad_alloc&) {
        capacity_ = static_cast<DWORD>(buffer_.size());
    }
    return !buffer_.empty() && capacity_ != 0;
}

void AssociationManager::FreeBuffer() noexcept
{
    std::vector<char>().swap(buffer_);
    capacity_ = 0;
}

bool AssociationManager::ReadValue(HKEY key, DWORD* type, const char* name)
{
    if (capacity_ == 0)
        return false;
    buffer_[0] = '\0';
    DWORD size = 0;
    BYTE* data = reinterpret_cast<BYTE*>(buffer_.data());
    LONG status = RegQueryValueExA(key, name, nullptr, type, data, &size);
    if (status == ERROR_MORE_DATA) {
        // One byte more than the value needs: the stored bytes need not end
        // in a zero, and the text made of them must.
        if (size == MAXDWORD || !ReserveBuffer(size + 1))
            return false;
        data = reinterpret_cast<BYTE*>(buffer_.data());
        size = capacity_ - 1;
        status = RegQueryValueExA(key, name, nullptr, type, data, &size);
    }
    if (status != ERROR_SUCCESS || size >= capacity_) {
        buffer_[0] = '\0';
        return false;
    }
    buffer_[size] = '\0';
    return true;
}

bool AssociationManager::WriteValue(HKEY key, DWORD type, const char* text, const char* name) noexcept
{
    DWORD size = text ? static_cast<DWORD>(std::strlen(text) + 1) : 0;
    return CountRegistryChange(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text), size)) ==
           ERROR_SUCCESS;
}

std::string AssociationManager::FolderPath(AssociationFolder folder) const
{
    return std::string("SOFTWARE\\Orvane\\") + (productName_ ? productName_ : "") +
           (folder == FOLDER_MAIN ? "\\Main" : "\\Save");
}

HKEY AssociationManager::FolderKey(AssociationFolder folder) const noexcept
{
    return folder == FOLDER_MAIN ? mainKey_.get() : saveKey_.get();
}

bool AssociationManager::OpenHKEY(AssociationFolder folder, bool create, HKEY root)
{
    unique_hkey& slot = folder == FOLDER_MAIN ? mainKey_ : saveKey_;
    if (slot)
        return true;
    HKEY under = root ? root : root_;
    if (create)
        return OpenOrCreateAssociationKey(under, FolderPath(folder), slot);
    return OpenAssociationKey(under, FolderPath(folder), slot);
}

void AssociationManager::CloseHKEY(AssociationFolder folder) noexcept
{
    (folder == FOLDER_MAIN ? mainKey_ : saveKey_).reset();
}

bool AssociationManager::SaveKeyCopy(const std::string& path, HKEY sourceRoot)
{
    // A copy left by an earlier run would mix with this one: the copy must be
    // the key exactly as it is now.
    std::string copyPath = FolderPath(FOLDER_SAVE) + "\\" + path;
    DeleteKeyTree(root_, copyPath);
    copyPath = FolderPath(FOLDER_SAVE) + "\\" + StoredKeyPath(sourceRoot, path);
    unique_hkey copy;
    if (!OpenOrCreateAssociationKey(root_, copyPath, copy, kCopyTargetAccess))
        return false;
    if (CopyKeyTree(sourceRoot, path.c_str(), copy.get()))
        return true;
    copy.reset();
    DeleteKeyTree(root_, copyPath);
    return false;
}

bool AssociationManager::RestoreKeyCopy(const std::string& path, HKEY targetRoot)
{
    // The current key is deleted only once its replacement is known to be
    // there: a record whose copy has vanished must not cost the user the key.
    const std::string savePath = FolderPath(FOLDER_SAVE);
    unique_hkey saved;
    LONG status = RegOpenKeyExA(root_, (savePath + "\\" + path).c_str(), 0, KEY_READ, saved.put());
    if (status == ERROR_FILE_NOT_FOUND) {
        // Nothing can come back: the key keeps its content, less Quillet.
        TakeProgramOut(targetRoot, path);
        Log("Saved copy missing ( %s\\%s ) -> Quillet taken out of its commands", RootName(targetRoot), path.c_str());
        DropRecord(root_, path);
        return true;
    }
    unique_hkey target;
    if (status == ERROR_SUCCESS && DeleteOrGone(root_, path)) {
        std::string stored = StoredKeyPath(root_, savePath + "\\" + path).substr(savePath.size() + 1);
        if (OpenOrCreateAssociationKey(targetRoot, stored, target, kCopyTargetAccess) &&
            CopyKeyTree(saved.get(), nullptr, target.get()))
            return true;
    }
    restoreIncomplete_ = true;
    Log("Not given back ( %s\\%s )", RootName(targetRoot), path.c_str());
    return false;
}

const char* AssociationManager::RootName(HKEY root) noexcept
{
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (root == HKEY_CLASSES_ROOT)
        return "HKCR";
    return "";
}

std::string AssociationManager::SaveRecordName(HKEY root, const std::string& path)
{
    return std::string(RootName(root)) + "_>:" + path;
}

bool AssociationManager::ReadRecord(HKEY root, const std::string& path, std::string& record)
{
    if (!ReadValue(saveKey_.get(), nullptr, SaveRecordName(root, path).c_str()))
        return false;
    record = Value();
    return true;
}

bool AssociationManager::WriteRecord(HKEY root, const std::string& path, const char* marker) noexcept
{
    bool written = WriteValue(saveKey_.get(), REG_SZ, marker, SaveRecordName(root, path).c_str());
    recordsUnflushed_ = recordsUnflushed_ || written;
    return written;
}

// Before a change that a record just written undoes: on disk the save area
// and the classes are two hive files, written at different times, and a
// power cut must not leave the change without its record.
void AssociationManager::FlushRecords()
{
    if (!recordsUnflushed_ || !saveKey_)
        return;
    FlushRegistryKey(saveKey_.get());
    recordsUnflushed_ = false;
}

// Before a record goes: the keys given back must be on disk first, or a
// power cut would leave a wrapped key that no record undoes any more.
void AssociationManager::FlushClasses(HKEY root)
{
    unique_hkey classes;
    if (RegOpenKeyExA(root, kClassesPrefix, 0, KEY_READ, classes.put()) == ERROR_SUCCESS)
        FlushRegistryKey(classes.get());
}

void AssociationManager::RemoveRecord(HKEY root, const std::string& path)
{
    CountRegistryChange(RegDeleteValueA(saveKey_.get(), SaveRecordName(root, path).c_str()));
}
