// library_bench: what Zentrik.dll costs the shell that loads it, measured
// through the library's exports and COM interfaces only, as ratios taken side
// by side in one run.
//
//   library_bench [actions] [rounds]      (defaults 1000 and 5)
//
// Set-up (not timed): a library folder of `actions` shortcuts in ten group
// folders (3 in 10 match a .txt file), an empty library folder, a copy of the
// built Zentrik.dll in each, and actions / 10 selected .txt files (at least
// one) in the shell's own data object. Each round, on this one thread:
//
//  0. LoadLibraryA alone: kLoadPairs pairs of LoadLibraryA (timed) and
//     FreeLibrary of the copy beside the empty library and of the copy beside
//     the full one, the order alternating from pair to pair, so that neither
//     side always comes first after the other's unload.
//  1. Empty library: LoadLibraryA of its Zentrik.dll; then
//     DllGetClassObject, a new object, Initialize and the first
//     QueryContextMenu; FreeLibrary. "Cold first menu" is the time from
//     before LoadLibraryA to the return of that QueryContextMenu.
//  2. Full library: the same (LoadLibraryA, cold first menu). Then, with
//     the library loaded, steady menus (a new object per menu, as the shell
//     makes one per right-click; only QueryContextMenu timed), each followed
//     by the floor of a menu build: reading the drop list (GetData(CF_HDROP),
//     DragQueryFileA of every name, ReleaseStgMedium) and inserting as many
//     owner-drawn items into a new popup as the menu showed, the popup into
//     the host menu. Then one shortcut is added to a matching group, the
//     change notification given 300 ms to arrive, and the next
//     QueryContextMenu timed: "first menu after one added shortcut". The
//     library is freed and the added shortcut deleted.
//  3. The floor of a load: one reused shell-link object; the listing of the
//     library folder and of every group folder; for every shortcut
//     IPersistFile::Load, GetArguments, GetWorkingDirectory, GetShowCmd,
//     GetPath (no find data) and one SHGetFileInfoA(SHGFI_ICON |
//     SHGFI_SMALLICON) (the icons are destroyed after the clock stops).
//
//  6. A first menu that reads only what it shows: kWideShortcuts shortcuts
//     in kWideGroups group folders of which kMatchingGroups (10 shortcuts
//     each) match one selected .txt file, against a library of those
//     matching groups alone; each round the cold first menu (as in 1) for
//     that one file beside each, in alternating order.
//
// "Full load" = cold first menu beside the full library minus cold first
// menu beside the empty one: what loading the actions costs, wherever the
// library does it (at LoadLibrary or at the first menu).
//
// Every figure is the median over the rounds (steady menus: over all of
// them); ratios are of medians of this run, and for the sides measured in
// the same round also the median of the per-round ratios, which a load on
// the machine that drifts between rounds disturbs less.
// QueryPerformanceCounter. Each menu's identifier count is checked against
// the number of matching actions (at most 512): a wrong menu ends the
// program with exit code 1.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"

namespace {

constexpr int kSteadyMenus = 5;  // steady menus (and menu floors) per round
constexpr int kLoadPairs = 6;    // LoadLibraryA pairs (empty, full) per round
constexpr int kMaxMenuItems = 512;
constexpr int kWideShortcuts = 1000;  // shortcuts of the wide library of figure 6
constexpr int kWideGroups = 100;      // its group folders
constexpr int kPerGroup = kWideShortcuts / kWideGroups;

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

// One menu on a fresh host popup; returns the identifiers used (-1 on
// failure) and the seconds QueryContextMenu took in *seconds.
int TimedMenu(LoadedZentrik& dll, IDataObject* data, double* seconds) {
    IContextMenu* menu = dll.NewMenuObject(data);
    if (menu == nullptr) return -1;
    HMENU host = CreatePopupMenu();
    const double start = Seconds();
    const int used = BuildMenu(menu, host);
    *seconds = Seconds() - start;
    menu->Release();
    DestroyMenu(host);
    return used;
}

// The floor of a menu build; returns its seconds.
double MenuFloor(IDataObject* data, int items) {
    HMENU host = CreatePopupMenu();
    static char names[kMaxMenuItems][MAX_PATH];
    const double start = Seconds();
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
        HDROP drop = static_cast<HDROP>(medium.hGlobal);
        const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) DragQueryFileA(drop, i, names[i % kMaxMenuItems], MAX_PATH);
        ReleaseStgMedium(&medium);
    }
    HMENU popup = CreateMenu();
    for (int k = 0; k < items; ++k) {
        InsertMenuA(popup, static_cast<UINT>(k), MF_BYPOSITION | MF_OWNERDRAW, static_cast<UINT_PTR>(k + 1),
                    reinterpret_cast<LPCSTR>(names[k % kMaxMenuItems]));
    }
    InsertMenuA(host, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "Zentrik");
    const double seconds = Seconds() - start;
    DestroyMenu(host);
    return seconds;
}

// The floor of a load over `folder`; returns its seconds and the number of
// shortcuts read in *read.
double LoadFloor(const std::string& folder, int* read) {
    *read = 0;
    std::vector<HICON> icons;
    const double start = Seconds();
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return 0;
    }
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return 0;
    }
    WIN32_FIND_DATAA group;
    HANDLE groups = FindFirstFileA((folder + "*.*").c_str(), &group);
    while (groups != INVALID_HANDLE_VALUE) {
        if ((group.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && group.cFileName[0] != '.') {
            const std::string dir = folder + group.cFileName + "\\";
            WIN32_FIND_DATAA entry;
            HANDLE entries = FindFirstFileA((dir + "*.*").c_str(), &entry);
            while (entries != INVALID_HANDLE_VALUE) {
                const std::string name = entry.cFileName;
                if (name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".lnk") == 0) {
                    const std::string path = dir + name;
                    char text[MAX_PATH + 1];
                    int show = 0;
                    if (SUCCEEDED(file->Load(WidePath(path).c_str(), STGM_READ))) {
                        link->GetArguments(text, sizeof text);
                        link->GetWorkingDirectory(text, sizeof text);
                        link->GetShowCmd(&show);
                        link->GetPath(text, sizeof text, nullptr, 0);
                        SHFILEINFOA info = {};
                        if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) != 0) {
                            icons.push_back(info.hIcon);
                        }
                        ++*read;
                    }
                }
                if (!FindNextFileA(entries, &entry)) {
                    FindClose(entries);
                    entries = INVALID_HANDLE_VALUE;
                }
            }
        }
        if (!FindNextFileA(groups, &group)) {
            FindClose(groups);
            groups = INVALID_HANDLE_VALUE;
        }
    }
    file->Release();
    link->Release();
    const double seconds = Seconds() - start;
    for (HICON icon : icons) DestroyIcon(icon);
    return seconds;
}

// Loads the library at `dllPath`, builds its first menu and leaves it
// loaded; returns the seconds from before LoadLibraryA to the return of the
// first QueryContextMenu.
double ColdFirstMenu(LoadedZentrik& dll, const std::string& dllPath, IDataObject* data, int expected) {
    const double start = Seconds();
    Check(dll.Load(dllPath), "LoadLibraryA of Zentrik.dll");
    Check(dll.Connect(), "DllGetClassObject");
    IContextMenu* menu = dll.NewMenuObject(data);
    Check(menu != nullptr, "a new extension object");
    if (menu == nullptr) return 0;
    HMENU host = CreatePopupMenu();
    const int used = BuildMenu(menu, host);
    const double firstMenu = Seconds() - start;
    Check(used == expected, "the first menu shows every matching action");
    menu->Release();
    DestroyMenu(host);
    return firstMenu;
}

double Ms(double seconds) { return seconds * 1e3; }

// Writes the library of figure 6 into `folder`: the kMatchingGroups
// matching groups of kBenchGroups with kPerGroup shortcuts each and, when
// `wide`, kWideGroups - kMatchingGroups groups of other types filled to
// kWideShortcuts. Returns the number of matching shortcuts, -1 on failure.
int WriteWideLibrary(const std::string& folder, bool wide) {
    const int groups = wide ? kWideGroups : kMatchingGroups;
    for (int g = 0; g < groups; ++g) {
        char other[32];
        std::snprintf(other, sizeof other, "EXT.x%02d", g);
        const std::string group = folder + (g < kMatchingGroups ? kBenchGroups[g] : other) + "\\";
        if (!CreateDirectoryA(group.c_str(), nullptr)) return -1;
        for (int k = 0; k < kPerGroup; ++k) {
            const int i = g * kPerGroup + k;
            if (!WriteBenchShortcut(group + BenchActionName(i) + ".lnk", i)) return -1;
        }
    }
    return kMatchingGroups * kPerGroup;
}

// The seconds LoadLibraryA of `dllPath` takes; the library is freed again.
double TimedLoadLibrary(const std::string& dllPath) {
    const double start = Seconds();
    HMODULE module = LoadLibraryA(dllPath.c_str());
    const double seconds = Seconds() - start;
    Check(module != nullptr, "LoadLibraryA of Zentrik.dll");
    if (module != nullptr) FreeLibrary(module);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int actions = ArgInt(argc, argv, 1, 1000, 10);
    const int rounds = ArgInt(argc, argv, 2, 5, 1);
    const int selected = actions / 10 > 0 ? actions / 10 : 1;
    ComApartment apartment;

    TempDir full("zkbfull"), empty("zkbempty"), files("zkbsel");
    Check(full.Valid() && empty.Valid() && files.Valid(), "temporary folders");
    const std::string fullDll = CopyZentrik(full.Path());
    const std::string emptyDll = CopyZentrik(empty.Path());
    Check(!fullDll.empty() && !emptyDll.empty(), "copies of Zentrik.dll beside the libraries");
    double setup = Seconds();
    const int matching = WriteBenchLibrary(full.Path(), actions);
    setup = Seconds() - setup;
    Check(matching >= 0, "writing the library's shortcuts");
    std::vector<std::string> names;
    for (int i = 0; i < selected; ++i) {
        const std::string name = "selected " + std::to_string(i) + ".txt";
        Check(files.WriteFile(name, "x"), "a selected file");
        names.push_back(files / name);
    }
    IDataObject* data = ShellDataObject(names);
    Check(data != nullptr, "the shell's data object for the selected files");
    if (failures > 0) return 1;
    const int shown = matching < kMaxMenuItems ? matching : kMaxMenuItems;
    // The added shortcut goes to the second group, which matches .txt files.
    const std::string added = full.Path() + kBenchGroups[1] + "\\Added by the benchmark.lnk";

    std::printf("library_bench (%s build): %d shortcuts in %d groups (written in %.1f s), %d match the %d selected "
                ".txt files; median of %d rounds, QueryPerformanceCounter\n",
                sizeof(void*) == 8 ? "x64" : "x86", actions, 10, setup, matching, selected, rounds);
    std::fflush(stdout);

    std::vector<double> emptyLoad, emptyFirst, fullLoadLibrary, fullFirst, steady, menuFloor, afterAdd, floorLoad;
    std::vector<double> loadRatio, addedRatio, floorRatio;  // per round: the sides of one round
    for (int r = 0; r < rounds && failures == 0; ++r) {
        std::vector<double> roundEmpty, roundFull;
        for (int p = 0; p < kLoadPairs; ++p) {
            if (p % 2 == 0) roundEmpty.push_back(TimedLoadLibrary(emptyDll));
            roundFull.push_back(TimedLoadLibrary(fullDll));
            if (p % 2 != 0) roundEmpty.push_back(TimedLoadLibrary(emptyDll));
        }
        emptyLoad.insert(emptyLoad.end(), roundEmpty.begin(), roundEmpty.end());
        fullLoadLibrary.insert(fullLoadLibrary.end(), roundFull.begin(), roundFull.end());
        loadRatio.push_back(Median(roundFull) / Median(roundEmpty));

        LoadedZentrik dll;
        emptyFirst.push_back(ColdFirstMenu(dll, emptyDll, data, 0));
        Check(dll.Unload(), "DllCanUnloadNow says S_OK once every object is released (empty library)");

        fullFirst.push_back(ColdFirstMenu(dll, fullDll, data, shown));
        for (int s = 0; s < kSteadyMenus; ++s) {
            double seconds = 0;
            Check(TimedMenu(dll, data, &seconds) == shown, "a steady menu shows every matching action");
            steady.push_back(seconds);
            menuFloor.push_back(MenuFloor(data, shown));
        }
        Check(WriteBenchShortcut(added, actions), "adding one shortcut");
        Sleep(300);
        double seconds = 0;
        const int expected = matching + 1 < kMaxMenuItems ? matching + 1 : kMaxMenuItems;
        Check(TimedMenu(dll, data, &seconds) == expected, "the menu after the change shows the added action");
        afterAdd.push_back(seconds);
        Check(dll.Unload(), "DllCanUnloadNow says S_OK once every object is released (full library)");
        DeleteFileA(added.c_str());

        int read = 0;
        floorLoad.push_back(LoadFloor(full.Path(), &read));
        Check(read == actions, "the floor loop reads every shortcut");
        const double roundLoad = fullFirst.back() - emptyFirst.back();
        addedRatio.push_back(seconds / roundLoad);
        floorRatio.push_back(roundLoad / floorLoad.back());
        std::printf("round %d: LoadLibraryA %.1f ms (median of %d), cold first menu %.1f ms, "
                    "after one added shortcut %.1f ms, floor load %.1f ms\n",
                    r + 1, Ms(Median(roundFull)), kLoadPairs, Ms(fullFirst.back()), Ms(seconds), Ms(floorLoad.back()));
        std::fflush(stdout);
    }
    data->Release();
    if (failures > 0) return 1;

    // Figure 6: the wide library against its matching groups alone.
    TempDir wideLibrary("zkbwide"), fewLibrary("zkbfew");
    const std::string wideDll = CopyZentrik(wideLibrary.Path());
    const std::string fewDll = CopyZentrik(fewLibrary.Path());
    const int wideMatching = WriteWideLibrary(wideLibrary.Path(), true);
    Check(!wideDll.empty() && !fewDll.empty() && wideMatching == WriteWideLibrary(fewLibrary.Path(), false) &&
              wideMatching > 0,
          "writing the libraries of figure 6");
    IDataObject* one = ShellDataObject({names.front()});
    Check(one != nullptr, "the shell's data object for one .txt file");
    std::vector<double> wideFirst, fewFirst, wideRatio;
    for (int r = 0; r < rounds && failures == 0; ++r) {
        LoadedZentrik dll;
        double wideSeconds = 0, fewSeconds = 0;
        for (int side = 0; side < 2; ++side) {
            const bool wide = (side + r) % 2 == 0;
            const double seconds = ColdFirstMenu(dll, wide ? wideDll : fewDll, one, wideMatching);
            Check(dll.Unload(), "DllCanUnloadNow says S_OK once every object is released (figure 6)");
            (wide ? wideSeconds : fewSeconds) = seconds;
        }
        wideFirst.push_back(wideSeconds);
        fewFirst.push_back(fewSeconds);
        wideRatio.push_back(wideSeconds / fewSeconds);
        std::printf("round %d (figure 6): first menu %.1f ms beside %d shortcuts, %.1f ms beside %d\n", r + 1,
                    Ms(wideSeconds), kWideShortcuts, Ms(fewSeconds), wideMatching);
        std::fflush(stdout);
    }
    if (one != nullptr) one->Release();
    if (failures > 0) return 1;

    const double fullLoad = Median(fullFirst) - Median(emptyFirst);
    std::printf("\n1. LoadLibraryA of Zentrik.dll (a copy beside the library; DllMain included; %d loads each)\n",
                static_cast<int>(emptyLoad.size()));
    std::printf("   beside %d shortcuts:      %10.2f ms\n", actions, Ms(Median(fullLoadLibrary)));
    std::printf("   beside an empty library: %10.2f ms\n", Ms(Median(emptyLoad)));
    std::printf("   ratio:                   %10.2f (median of per-round ratios %.2f)\n",
                Median(fullLoadLibrary) / Median(emptyLoad), Median(loadRatio));

    std::printf("\n2. Full load (cold first menu beside %d shortcuts minus beside an empty library)\n", actions);
    std::printf("   cold first menu, full:   %10.2f ms (LoadLibraryA to the first QueryContextMenu's return)\n",
                Ms(Median(fullFirst)));
    std::printf("   cold first menu, empty:  %10.2f ms\n", Ms(Median(emptyFirst)));
    std::printf("   full load:               %10.2f ms\n", Ms(fullLoad));

    std::printf("\n3. First menu after adding one shortcut to %d, against a steady menu and a full load\n", actions);
    std::printf("   after one added shortcut:%10.2f ms (QueryContextMenu)\n", Ms(Median(afterAdd)));
    std::printf("   steady menu:             %10.2f ms (QueryContextMenu, no change, %d menus)\n",
                Ms(Median(steady)), static_cast<int>(steady.size()));
    std::printf("   ratio to a steady menu:  %10.2f\n", Median(afterAdd) / Median(steady));
    std::printf("   ratio to a full load:    %10.3f (median of per-round ratios %.3f)\n", Median(afterAdd) / fullLoad,
                Median(addedRatio));

    std::printf("\n4. Full load against the floor loop (one reused link object, Load, getters, one icon)\n");
    std::printf("   floor loop:              %10.2f ms for %d shortcuts\n", Ms(Median(floorLoad)), actions);
    std::printf("   ratio full load / floor: %10.2f (median of per-round ratios %.2f)\n", fullLoad / Median(floorLoad),
                Median(floorRatio));

    std::printf("\n5. Menu build: %d actions, %d matching, %d selected files\n", actions, shown, selected);
    std::printf("   QueryContextMenu:        %10.3f ms (steady, %d menus)\n", Ms(Median(steady)),
                static_cast<int>(steady.size()));
    std::printf("   floor:                   %10.3f ms (read the drop list, insert %d owner-drawn items)\n",
                Ms(Median(menuFloor)), shown);
    std::printf("   ratio:                   %10.2f\n", Median(steady) / Median(menuFloor));

    std::printf("\n6. First menu for one .txt file: %d shortcuts in %d groups, %d groups (%d actions) matching, "
                "against those %d groups alone\n",
                kWideShortcuts, kWideGroups, kMatchingGroups, wideMatching, kMatchingGroups);
    std::printf("   beside %d shortcuts:      %10.2f ms (LoadLibraryA to the first QueryContextMenu's return)\n",
                kWideShortcuts, Ms(Median(wideFirst)));
    std::printf("   beside the %d groups:     %10.2f ms\n", kMatchingGroups, Ms(Median(fewFirst)));
    std::printf("   ratio:                   %10.2f (median of per-round ratios %.2f)\n",
                Median(wideFirst) / Median(fewFirst), Median(wideRatio));
    return 0;
}
