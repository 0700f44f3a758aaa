// PageButton CAPTION ID [WAIT_MS [--wait-only]]: presses button ID of the
// visible top-level window whose title starts with CAPTION and that has one
// enabled (NSIS adds the page's name to the title) (the setup's pages: 1
// Next/Install/Finish, 2 Cancel, 3 Back; its message boxes: 4 Retry, 6 Yes,
// 7 No), waiting up to WAIT_MS (default 20000) for such a window; with
// --wait-only it only waits (a page's work is done once its Next is enabled).
// A window disabled under a message box does not count. Exit code 0 when
// pressed (or found), 1 when no such window came. tools/installer-pages walks
// the pages with it.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Search {
    const char* caption;
    int id;
    HWND button;
};

BOOL CALLBACK FindButton(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (!IsWindowVisible(window) || !IsWindowEnabled(window) ||
        strncmp(text, search->caption, strlen(search->caption)) != 0)
        return TRUE;
    HWND button = GetDlgItem(window, search->id);
    if (button == nullptr || !IsWindowEnabled(button) || !IsWindowVisible(button))
        return TRUE;
    search->button = button;
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: PageButton CAPTION ID [WAIT_MS [--wait-only]]\n");
        return 2;
    }
    Search search = {argv[1], atoi(argv[2]), nullptr};
    DWORD limit = argc > 3 ? strtoul(argv[3], nullptr, 10) : 20000;
    DWORD start = GetTickCount();
    while (search.button == nullptr && GetTickCount() - start < limit) {
        EnumWindows(FindButton, reinterpret_cast<LPARAM>(&search));
        if (search.button == nullptr)
            Sleep(100);
    }
    if (search.button == nullptr)
        return 1;
    if (argc > 4 && strcmp(argv[4], "--wait-only") == 0)
        return 0;
    // The button's own click, as the mouse makes it; sent, so that the
    // page has moved on when this returns.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(search.button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
    return 0;
}
