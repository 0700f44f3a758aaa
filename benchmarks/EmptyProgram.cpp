// The floor of every start: a windowed program that imports nothing but
// KERNEL32 (and the C runtime every MinGW program has) and ends at once.
// With DLL names as arguments it loads each one before it ends, so that the
// launch benchmark can tell what one import costs a start; the word
// "window" instead makes one hidden top-level window (USER32 bound by name),
// the cost of a process's first window.
#include <windows.h>

#include <cstring>

namespace {

typedef HWND(WINAPI* CreateWindowFunction)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                                           HINSTANCE, LPVOID);

bool MakeWindow()
{
    HMODULE user = LoadLibraryA("user32.dll");
    FARPROC address = user ? GetProcAddress(user, "CreateWindowExA") : nullptr;
    if (!address)
        return false;
    auto create = reinterpret_cast<CreateWindowFunction>(reinterpret_cast<void (*)()>(address));
    return create(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW, 4096, 0, 0, 0, nullptr, nullptr, nullptr,
                  nullptr) != nullptr;
}

bool Load(const char* word)
{
    return std::strcmp(word, "window") == 0 ? MakeWindow() : LoadLibraryA(word) != nullptr;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char* word = commandLine;
    while (*word) {
        while (*word == ' ')
            ++word;
        char* end = word;
        while (*end && *end != ' ')
            ++end;
        char saved = *end;
        *end = '\0';
        if (end != word && !Load(word))
            return 2;
        *end = saved;
        word = end;
    }
    return 0;
}
