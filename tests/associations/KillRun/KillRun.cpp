// RoundTripKill: "-INSTALL" and "-UNINSTALL" stopped right after their Nth
// registry change, for every N from the first to the last, each followed by
// each of the commands a user may run next: after a stopped "-INSTALL",
// "-INSTALL" (which must end where an uninterrupted one ends) then
// "-UNINSTALL", or "-UNINSTALL" at once; after a stopped "-UNINSTALL",
// "-UNINSTALL" again, or "-INSTALL" (again where an uninterrupted one ends)
// then "-UNINSTALL". Every road must end in the starting state, byte for
// byte. A stop counts as identical only when all its roads do.
//
//   RoundTripKill PROGRAM [win2k]
//
// The two actions are Quillet's own (InstallAction, UninstallAction), run in
// this process for PROGRAM: a new Quillet.exe for each of some two thousand
// runs would cost far more than the budget of the whole suite. The change
// observer of the association code takes an image of the registry after
// each change of one uninterrupted action; each image is put back in turn
// and the recovery run from it. The registry is put back between runs from
// images taken here. Prints
//   ROW <install stops> <identical> <uninstall stops> <identical>
// and the first differences of every run that did not end identical, and
// exits 1 when one did not, when a state that takes over had no change to
// stop at, or when a change came before the flush it must follow.
#include "associations/RegistryChangeCount.h"
#include "common/UniqueHandle.h"
#include "launcher/InstallActions.h"
#include "programwide/LauncherState.h"

#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kSave[] = "SOFTWARE\\Orvane\\Quillet\\Save";

// One key as it is: values in the order the registry holds them, subkeys
// in the order it enumerates them.
struct KeyImage {
    bool present = false;
    std::vector<std::string> valueNames;
    std::vector<DWORD> valueTypes;
    std::vector<std::vector<BYTE>> valueData;
    std::vector<std::string> subkeyNames;
    std::vector<KeyImage> subkeys;
};

KeyImage Capture(HKEY parent, const std::string& path)
{
    KeyImage image;
    unique_hkey key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return image;
    image.present = true;
    std::vector<char> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(key.get(), i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            break;
        image.valueNames.emplace_back(name.data(), nameSize);
        image.valueTypes.push_back(type);
        image.valueData.emplace_back(data.begin(), data.begin() + dataSize);
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key.get(), i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        image.subkeyNames.emplace_back(name.data(), nameSize);
    }
    for (const std::string& subkey : image.subkeyNames)
        image.subkeys.push_back(Capture(key.get(), subkey));
    return image;
}

void Write(HKEY parent, const std::string& path, const KeyImage& image)
{
    SHDeleteKeyA(parent, path.c_str());
    if (!image.present)
        return;
    unique_hkey key;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    for (size_t i = 0; i < image.valueNames.size(); ++i)
        RegSetValueExA(key.get(), image.valueNames[i].c_str(), 0, image.valueTypes[i], image.valueData[i].data(),
                       static_cast<DWORD>(image.valueData[i].size()));
    for (size_t i = 0; i < image.subkeys.size(); ++i)
        Write(key.get(), image.subkeyNames[i], image.subkeys[i]);
}

void Dump(const KeyImage& image, const std::string& path, std::string& out)
{
    if (!image.present) {
        out += path + "\t<absent>\n";
        return;
    }
    out += path + "\n";
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < image.valueNames.size(); ++i) {
        out += path + "\t" + image.valueNames[i] + "\t" + std::to_string(image.valueTypes[i]) + "\t";
        for (BYTE b : image.valueData[i])
            out += std::string{digits[b >> 4], digits[b & 15]};
        out += "\n";
    }
    for (size_t i = 0; i < image.subkeys.size(); ++i)
        Dump(image.subkeys[i], path + "\\" + image.subkeyNames[i], out);
}

struct Place {
    HKEY root;
    const char* rootName;
    std::string path;
    bool compared;  // false: only put back (the product's own keys)
};

std::vector<Place> Places(bool windows2000)
{
    std::vector<Place> places = {
        {HKEY_CURRENT_USER, "HKCU", "Software\\Classes", true},
        {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Internet Explorer\\Main", true},
        {HKEY_CURRENT_USER, "HKCU", "SOFTWARE\\Orvane", false},
    };
    if (windows2000) {
        // The machine-wide classes are thousands of keys: the items the
        // takeover works on stand for them.
        for (const char* item : {"CLSID\\{0002DF01-0000-0000-C000-000000000046}", ".htm", ".html", ".url", ".shtml",
                                 "ftp", "http", "https", "gopher", "htmlfile", "mhtmlfile", "InternetShortcut",
                                 "Applications"})
            places.push_back({HKEY_LOCAL_MACHINE, "HKLM", std::string("Software\\Classes\\") + item, true});
        places.push_back({HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Internet Explorer\\Main", true});
        places.push_back({HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Orvane", false});
    }
    return places;
}

struct World {
    std::vector<Place> places;
    std::vector<KeyImage> images;
};

World Take(const std::vector<Place>& places)
{
    World world{places, {}};
    for (const Place& place : places)
        world.images.push_back(Capture(place.root, place.path));
    return world;
}

void PutBack(const World& world)
{
    for (size_t i = 0; i < world.places.size(); ++i)
        Write(world.places[i].root, world.places[i].path, world.images[i]);
}

std::string Compared(const World& world)
{
    std::string out;
    for (size_t i = 0; i < world.places.size(); ++i)
        if (world.places[i].compared)
            Dump(world.images[i], std::string(world.places[i].rootName) + "\\" + world.places[i].path, out);
    return out;
}

bool SaveAreaLeft(bool windows2000)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSave, 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        return true;
    return windows2000 && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSave, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The registry after each change of the action running now, when asked for,
// and after how many of its changes each flush came.
const std::vector<Place>* g_imagedPlaces = nullptr;
std::vector<World> g_images;
std::vector<size_t> g_flushes;

void OnRegistryChange()
{
    if (g_imagedPlaces)
        g_images.push_back(Take(*g_imagedPlaces));
}

void OnRegistryFlush()
{
    if (g_imagedPlaces)
        g_flushes.push_back(g_images.size());
}

// The save records of a world (both roots), as "<root>\<name>".
std::vector<std::string> Records(const World& world)
{
    std::vector<std::string> records;
    for (size_t i = 0; i < world.places.size(); ++i) {
        if (world.places[i].path != "SOFTWARE\\Orvane")
            continue;
        const KeyImage* key = &world.images[i];
        for (const char* name : {"Quillet", "Save"}) {
            auto at = std::find(key->subkeyNames.begin(), key->subkeyNames.end(), name);
            key = at == key->subkeyNames.end() ? nullptr : &key->subkeys[at - key->subkeyNames.begin()];
            if (!key)
                break;
        }
        for (size_t v = 0; key && v < key->valueNames.size(); ++v)
            if (key->valueNames[v].find("_>:") != std::string::npos)
                records.push_back(std::string(world.places[i].rootName) + "\\" + key->valueNames[v]);
    }
    std::sort(records.begin(), records.end());
    return records;
}

// The state on disk as the last flush before change N left it: the world
// after that many changes (FROM when none came before).
const World& FlushedWorld(const World& from, const std::vector<World>& images,
                          const std::vector<size_t>& flushes, size_t n)
{
    size_t flushed = 0;
    for (size_t at : flushes)
        if (at <= n)
            flushed = at;
    return flushed == 0 ? from : images[flushed - 1];
}

// A power cut may keep the classes and lose the save area written since its
// last flush, or the reverse; so -INSTALL changes a class only once every
// record is flushed, and -UNINSTALL drops a record only once the classes
// given back are. Under Wine the order of flushes and changes is all that
// shows. Prints and counts the changes out of order.
int OutOfOrder(const World& from, const std::vector<World>& images, const std::vector<size_t>& flushes,
               const char* action)
{
    int faults = 0;
    for (size_t n = 0; n < images.size(); ++n) {
        const World& before = n == 0 ? from : images[n - 1];
        const World& flushed = FlushedWorld(from, images, flushes, n);
        std::vector<std::string> now = Records(images[n]);
        std::vector<std::string> onDisk = Records(flushed);
        bool classesChanged = Compared(images[n]) != Compared(before);
        bool recordDropped = now.size() < Records(before).size();
        bool fault = strcmp(action, "-INSTALL") == 0
                         ? classesChanged && !std::includes(onDisk.begin(), onDisk.end(), now.begin(), now.end())
                         : recordDropped && Compared(images[n]) != Compared(flushed);
        if (fault) {
            printf("  %s change %lu: %s before the flush\n", action, static_cast<unsigned long>(n + 1),
                   classesChanged ? "a class changed with its record not on disk" : "a record went with its key not on disk");
            ++faults;
        }
    }
    return faults;
}
int g_orderFaults = 0;

int Run(const char* action)
{
    return strcmp(action, "-INSTALL") == 0 ? InstallAction() : UninstallAction();
}

// Runs ACTION once from FROM, taking the registry's image after each of its
// changes: image N is what the action leaves when it is ended right after its
// Nth change, since nothing but the registry steers it.
std::vector<World> StatesAfterEachChange(const World& from, const char* action)
{
    PutBack(from);
    g_images.clear();
    g_flushes.clear();
    g_imagedPlaces = &from.places;
    Run(action);
    g_imagedPlaces = nullptr;
    g_orderFaults += OutOfOrder(from, g_images, g_flushes, action);
    return std::move(g_images);
}

// The first lines where two dumps part, for the report.
void ShowDifference(const std::string& want, const std::string& got)
{
    size_t a = 0, b = 0;
    int shown = 0;
    while (shown < 4 && (a < want.size() || b < got.size())) {
        size_t ea = want.find('\n', a), eb = got.find('\n', b);
        std::string la = want.substr(a, ea - a), lb = got.substr(b, eb - b);
        if (la != lb) {
            printf("      want: %s\n      got:  %s\n", la.substr(0, 200).c_str(), lb.substr(0, 200).c_str());
            ++shown;
        }
        a = ea == std::string::npos ? want.size() : ea + 1;
        b = eb == std::string::npos ? got.size() : eb + 1;
    }
}

struct Tally {
    int kills = 0;
    int identical = 0;
};

// After a recovery: the registry as WANT has it (the start, or the end of an
// uninterrupted "-INSTALL"), the save area gone or kept as AREA says, and
// the recovery's commands reported success.
bool Judge(const World& want, bool windows2000, bool succeeded, bool area, const char* what, DWORD n)
{
    std::string now = Compared(Take(want.places));
    std::string wanted = Compared(want);
    bool same = now == wanted && SaveAreaLeft(windows2000) == area && succeeded;
    if (!same) {
        printf("  %s ended after change %lu: %s%s%s\n", what, static_cast<unsigned long>(n),
               succeeded ? "" : "a recovery command failed; ", now == wanted ? "" : "registry differs; ",
               SaveAreaLeft(windows2000) == area ? "" : area ? "save area missing" : "save area left");
        if (now != wanted)
            ShowDifference(wanted, now);
    }
    return same;
}

// The main key's values ("FileName", "Folder", "Key"), which a finished
// takeover must leave as an uninterrupted one does.
std::string MainValues()
{
    KeyImage main = Capture(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Quillet\\Main");
    main.subkeys.clear();
    main.subkeyNames.clear();
    std::string out;
    Dump(main, "HKCU\\SOFTWARE\\Orvane\\Quillet\\Main", out);
    return out;
}

// From a stop: "-INSTALL", which must end as the uninterrupted one did
// (INSTALLED, MAIN), then "-UNINSTALL" back to START.
bool InstallThenUninstall(const World& start, const World& installed, const std::string& main, bool windows2000,
                          const char* what, DWORD n)
{
    bool done = Run("-INSTALL") == kInstallDone;
    bool same = Judge(installed, windows2000, done, true, what, n);
    if (MainValues() != main) {
        printf("  %s ended after change %lu, then -INSTALL: the main key's values differ\n", what,
               static_cast<unsigned long>(n));
        ShowDifference(main, MainValues());
        same = false;
    }
    bool removed = Run("-UNINSTALL") == kUninstallRestored;
    return Judge(start, windows2000, removed, false, what, n) && same;
}

// Every change is a kill point, or with QUILLET_KILL_STRIDE=N every Nth
// one and the first and last (the quick run of make test; the full run
// takes about six minutes under Wine on a quiet machine).
bool IsKillPoint(size_t n, size_t count)
{
    const char* text = getenv("QUILLET_KILL_STRIDE");
    size_t stride = text ? static_cast<size_t>(strtoul(text, nullptr, 10)) : 1;
    return stride <= 1 || n == 0 || n + 1 == count || n % stride == 0;
}

Tally KillInstall(const World& start, const World& installed, const std::string& main, bool windows2000)
{
    Tally tally;
    std::vector<World> stops = StatesAfterEachChange(start, "-INSTALL");
    for (size_t n = 0; n < stops.size(); ++n) {
        if (!IsKillPoint(n, stops.size()))
            continue;
        DWORD stop = static_cast<DWORD>(n + 1);
        ++tally.kills;
        PutBack(stops[n]);
        bool same = InstallThenUninstall(start, installed, main, windows2000, "-INSTALL", stop);
        PutBack(stops[n]);
        // Every stop is after the save area's first change: there is a
        // takeover to give back.
        bool removed = Run("-UNINSTALL") == kUninstallRestored;
        same = Judge(start, windows2000, removed, false, "-INSTALL (then -UNINSTALL)", stop) && same;
        tally.identical += same ? 1 : 0;
    }
    return tally;
}

Tally KillUninstall(const World& start, const World& installed, const std::string& main, bool windows2000)
{
    Tally tally;
    std::vector<World> stops = StatesAfterEachChange(installed, "-UNINSTALL");
    for (size_t n = 0; n < stops.size(); ++n) {
        if (!IsKillPoint(n, stops.size()))
            continue;
        DWORD stop = static_cast<DWORD>(n + 1);
        ++tally.kills;
        PutBack(stops[n]);
        // Ended after its last change, the restore was done: "not installed".
        int again = Run("-UNINSTALL");
        bool same = Judge(start, windows2000, again == kUninstallRestored || again == kUninstallNotInstalled, false,
                          "-UNINSTALL", stop);
        PutBack(stops[n]);
        same = InstallThenUninstall(start, installed, main, windows2000, "-UNINSTALL (then -INSTALL)", stop) && same;
        tally.identical += same ? 1 : 0;
    }
    return tally;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: RoundTripKill PROGRAM [win2k]\n");
        return 2;
    }
    bool windows2000 = argc > 2 && strcmp(argv[2], "win2k") == 0;
    lstrcpynA(g_launcher.modulePath, argv[1], sizeof g_launcher.modulePath);
    lstrcpynA(g_launcher.productCaption, "Quillet", sizeof g_launcher.productCaption);
    SetRegistryChangeObserver(OnRegistryChange);
    SetRegistryFlushObserver(OnRegistryFlush);
    World start = Take(Places(windows2000));
    // A state whose takeover is refused has nothing to stop.
    Tally install;
    Tally uninstall;
    bool tookOver = Run("-INSTALL") == kInstallDone;
    if (tookOver) {
        World installed = Take(start.places);
        std::string main = MainValues();
        install = KillInstall(start, installed, main, windows2000);
        uninstall = KillUninstall(start, installed, main, windows2000);
    }
    PutBack(start);
    // A state that takes over has changes to stop at; none means the
    // observer saw nothing, and the state proved nothing.
    bool stopped = !tookOver || (install.kills > 0 && uninstall.kills > 0);
    if (!stopped)
        printf("  the takeover ran, but no change was seen to stop at\n");
    printf("ROW %d %d %d %d\n", install.kills, install.identical, uninstall.kills, uninstall.identical);
    return install.kills == install.identical && uninstall.kills == uninstall.identical && stopped &&
                   g_orderFaults == 0
               ? 0
               : 1;
}
