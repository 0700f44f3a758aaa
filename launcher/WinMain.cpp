#include "launcher/Entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    return RunQuillet(instance, commandLine);
}
