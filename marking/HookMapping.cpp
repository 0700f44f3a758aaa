#include "marking/HookMapping.h"

#include "common/AtlException.h"
#include "security/SharedObjectDacl.h"

namespace {

const wchar_t kMappingName[] = L"HookMappingClassObject_Ver1";
const wchar_t kEventName[] = L"EventMappingClassObject_Ver1_add";

// Lets restricted processes of the same user open the object. Nothing
// depends on these objects, so a failure is left alone.
void ShareWithRestrictedProcesses(HANDLE object) noexcept
{
    try {
        SetSharedObjectDacl(object, SE_KERNEL_OBJECT);
    } catch (const CAtlException&) {
    }
}

}  // namespace

HookMapping::HookMapping() noexcept
{
    bool created = OpenOrCreateMapping();
    if (mapping_) {
        view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kSize));
        if (view_ && created)
            *static_cast<volatile DWORD*>(view_.get()) = 0;
    }
    OpenOrCreateEvent();
}

// True when this process created the mapping.
bool HookMapping::OpenOrCreateMapping() noexcept
{
    mapping_.reset(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kMappingName));
    if (mapping_)
        return false;
    mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                      0, kSize, kMappingName));
    if (!mapping_)
        return false;
    ShareWithRestrictedProcesses(mapping_.get());
    return true;
}

void HookMapping::OpenOrCreateEvent() noexcept
{
    event_.reset(OpenEventW(EVENT_ALL_ACCESS, FALSE, kEventName));
    if (!event_)
        event_.reset(CreateEventW(nullptr, TRUE, FALSE, kEventName));
    if (!event_)
        return;
    ShareWithRestrictedProcesses(event_.get());
    SetEvent(event_.get());
}
