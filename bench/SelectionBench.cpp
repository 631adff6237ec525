// selection_bench [files] [types] [rounds]: the menu for a very large
// selection. A drop list of `files` names (wide DROPFILES, as a drag source
// other than the shell's folders hands it over; the files need not exist,
// since only their names are matched) with `types` distinct extensions goes
// to a copy of the built Zentrik.dll beside a library of 30 actions, and
// QueryContextMenu is timed with QueryPerformanceCounter, one fresh
// extension object per round. Prints each round, the median and what the
// submenu's first item says.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tools/DropListObject.h"
#include "tests/extension/ExtensionTestSupport.h"

namespace {

IDataObject* MakeDropList(int files, int types) {
    std::wstring names;
    for (int i = 0; i < files; ++i) {
        wchar_t name[64];
        wsprintfW(name, L"C:\\selected\\file%06d.t%05d", i, i % types);
        names += name;
        names += L'\0';
    }
    names += L'\0';
    return NewWideDropList(names);
}

// The caption of the first item of the first submenu of `host`.
std::string FirstItem(HMENU host) {
    HMENU sub = GetSubMenu(host, 0);
    char text[128] = "";
    if (sub == nullptr) return "(no submenu)";
    if (GetMenuStringA(sub, 0, text, sizeof text, MF_BYPOSITION) <= 0) return "(an owner-drawn action)";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int files = ArgInt(argc, argv, 1, 100000, 1);
    const int types = ArgInt(argc, argv, 2, files, 1);
    const int rounds = ArgInt(argc, argv, 3, 3, 1);
    ComApartment apartment;
    TempDir library("zkbsel");
    const std::string dll = library.Valid() ? CopyZentrik(library.Path()) : std::string();
    if (dll.empty() || WriteBenchLibrary(library.Path(), 30) < 0) {
        std::printf("FAILED: the library and its copy of Zentrik.dll\n");
        return 1;
    }
    LoadedZentrik zentrik;
    IDataObject* data = MakeDropList(files, types);
    if (data == nullptr || !zentrik.Load(dll) || !zentrik.Connect()) {
        std::printf("FAILED: the drop list or the library\n");
        return 1;
    }
    std::printf("selection_bench (%s build): QueryContextMenu for %d selected names of %d types (own wide drop "
                "list), 30 actions; QueryPerformanceCounter, one new extension object per round\n",
                sizeof(void*) == 8 ? "x64" : "x86", files, types);
    std::vector<double> times;
    std::string first;
    for (int r = 0; r < rounds; ++r) {
        IContextMenu* menu = zentrik.NewMenuObject(data);
        if (menu == nullptr) break;
        HMENU host = CreatePopupMenu();
        const double start = Seconds();
        const int used = BuildMenu(menu, host);
        times.push_back(Seconds() - start);
        first = FirstItem(host);
        std::printf("round %d: %.3f s, %d identifiers, first item: %s\n", r + 1, times.back(), used, first.c_str());
        std::fflush(stdout);
        menu->Release();
        DestroyMenu(host);
    }
    data->Release();
    zentrik.Unload();
    std::printf("median: %.3f s over %zu rounds\n", Median(times), times.size());
    return times.size() == static_cast<size_t>(rounds) ? 0 : 1;
}
