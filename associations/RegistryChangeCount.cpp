#include "associations/RegistryChangeCount.h"

namespace {

RegistryChangeObserver g_observer = nullptr;
RegistryChangeObserver g_flushObserver = nullptr;
LONGLONG g_flushTicks = 0;

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

LONG FlushRegistryKey(HKEY key)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    LONG status = RegFlushKey(key);
    QueryPerformanceCounter(&end);
    g_flushTicks += end.QuadPart - start.QuadPart;
    if (status == ERROR_SUCCESS && g_flushObserver)
        g_flushObserver();
    return status;
}

void SetRegistryFlushObserver(RegistryChangeObserver observer)
{
    g_flushObserver = observer;
}

LONGLONG RegistryFlushTicks()
{
    return g_flushTicks;
}
