// The floor of every start: a windowed program that imports nothing but
// KERNEL32 (and the C runtime every MinGW program has) and ends at once.
// With DLL names as arguments it loads each one before it ends, so that the
// launch benchmark can tell what one import costs a start.
#include <windows.h>

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
        if (end != word && !LoadLibraryA(word))
            return 2;
        *end = saved;
        word = end;
    }
    return 0;
}
