#include "associations/RegistryChangeCount.h"

namespace {

RegistryChangeObserver g_observer = nullptr;

} // namespace

void SetRegistryChangeObserver(RegistryChangeObserver observer)
{
    g_observer = observer;
}

LONG CountRegistryChange(LONG status)
{
    if (status == ERROR_SUCCESS && g_observer)
        g_observer();
    return status;
}
