// The named mapping "HookMappingClassObject_Ver1" and the event
// "EventMappingClassObject_Ver1_add" that exist while Quillet runs. Nothing
// depends on them: every failure leaves the object partly empty and quiet.
#pragma once

#include <windows.h>
#include "common/UniqueHandle.h"

class HookMapping {
public:
    static const DWORD kSize = 0x320000;

    HookMapping() noexcept;
    HookMapping(const HookMapping&) = delete;
    HookMapping& operator=(const HookMapping&) = delete;

    HANDLE Mapping() const noexcept { return mapping_.get(); }
    const void* View() const noexcept { return view_.get(); }
    HANDLE Event() const noexcept { return event_.get(); }

private:
    bool OpenOrCreateMapping() noexcept;
    void OpenOrCreateEvent() noexcept;

    // Destroyed in reverse order: event, view, mapping.
    unique_handle mapping_;
    unique_view view_;
    unique_handle event_;
};
