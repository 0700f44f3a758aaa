#include "launcher/BypassKeys.h"

namespace {

// CHOSEN is one byte of the setting: 0 (the key must be up), VIRTUALKEY (it
// must be down) or anything else (the setting is not a valid selection).
bool KeyMatches(const BYTE (&state)[256], BYTE chosen, BYTE virtualKey)
{
    BYTE keyState = state[virtualKey];
    if (chosen == 0)
        return keyState == 0 || keyState == 1;   // 1 is the toggle bit alone: up
    if (chosen == virtualKey)
        return (keyState & 0x80) != 0;
    return false;
}

} // namespace

bool BypassKeysHeld(DWORD key)
{
    if (key == 0)
        return false;
    BYTE state[256] = {};
    if (!GetKeyboardState(state))
        return false;
    return KeyMatches(state, LOBYTE(key), VK_MENU)
        && KeyMatches(state, HIBYTE(LOWORD(key)), VK_CONTROL)
        && KeyMatches(state, LOBYTE(HIWORD(key)), VK_SHIFT);
}
