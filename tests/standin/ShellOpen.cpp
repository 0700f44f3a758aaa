// shellopen.exe [--wait=MS] LINK: opens a link the way the Windows XP shell
// does, for the demo and the round trip. Wine 8's shell sees only the machine-wide
// classes, but the takeover writes per-user ones, so this finds the handler
// itself: the class of the link's protocol (or of its file extension), per
// user first and machine-wide second, its default verb (else "open"), and
// that verb's command with %1 (or %l, %L) replaced by the link, or the link
// appended when the command has no placeholder. Prints the command line it
// started and exits 0, or 1 when there is no handler or it would not start.
//
// shellopen.exe [--wait=MS] --command TEXT starts TEXT as it stands.
// With --wait it waits up to MS ms for the started process to end and exits
// with its exit code; one still running then is ended (exit code 0xDEAD)
// and shellopen exits 3, so that nothing it started outlives it.
#include "common/UniqueHandle.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

bool ReadText(const std::string& path, const char* name, std::string& text)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        unique_hkey key;
        if (RegOpenKeyExA(root, ("Software\\Classes\\" + path).c_str(), 0, KEY_READ, key.put())
            != ERROR_SUCCESS)
            continue;  // the per-user key wins as a whole where it exists
        char data[4096] = {};
        DWORD size = sizeof(data) - 1, type = 0;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, (BYTE*)data, &size) != ERROR_SUCCESS)
            return false;
        text = data;
        return true;
    }
    return false;
}

std::string ClassOf(const std::string& link)
{
    size_t colon = link.find(':');
    if (colon != std::string::npos && colon > 1)  // "C:\..." is a drive, not a protocol
        return link.substr(0, colon);
    size_t dot = link.rfind('.');
    std::string name;
    if (dot != std::string::npos && ReadText(link.substr(dot), nullptr, name))
        return name;
    return {};
}

std::string Substitute(std::string command, const std::string& link)
{
    bool placed = false;
    for (const char* placeholder : {"%1", "%l", "%L"}) {
        for (size_t at; (at = command.find(placeholder)) != std::string::npos; placed = true)
            command.replace(at, 2, link);
    }
    return placed ? command : command + " " + link;
}

bool FindCommand(const std::string& link, std::string& command)
{
    std::string name = ClassOf(link), verb;
    if (name.empty())
        return false;
    if (!ReadText(name + "\\shell", nullptr, verb) || verb.empty())
        verb = "open";
    if (!ReadText(name + "\\shell\\" + verb + "\\command", nullptr, command))
        return false;
    command = Substitute(command, link);
    return true;
}

int Start(const std::string& command, bool wait, DWORD waitMs)
{
    printf("%s\n", command.c_str());
    fflush(stdout);
    std::vector<char> text(command.begin(), command.end());
    text.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        fprintf(stderr, "shellopen: could not start it (error %lu)\n", GetLastError());
        return 1;
    }
    CloseHandle(started.hThread);
    unique_handle process(started.hProcess);
    if (!wait)
        return 0;
    if (WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 0xDEAD);
        fprintf(stderr, "shellopen: still running after %lu ms, ended\n", waitMs);
        return 3;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return (int)code;
}

}  // namespace

int main(int argc, char** argv)
{
    int next = 1;
    bool wait = false;
    DWORD waitMs = 0;
    if (next < argc && strncmp(argv[next], "--wait=", 7) == 0) {
        wait = true;
        waitMs = strtoul(argv[next++] + 7, nullptr, 10);
    }
    std::string command;
    if (next + 2 == argc && strcmp(argv[next], "--command") == 0)
        command = argv[next + 1];
    else if (next + 1 == argc) {
        if (!FindCommand(argv[next], command)) {
            fprintf(stderr, "shellopen: no handler for %s\n", argv[next]);
            return 1;
        }
    } else {
        fprintf(stderr, "usage: shellopen [--wait=MS] LINK | shellopen [--wait=MS] --command TEXT\n");
        return 2;
    }
    return Start(command, wait, waitMs);
}
