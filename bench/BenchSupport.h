// What the benchmarks share: the clock, medians, a benchmark's action
// library on disk, and Zentrik.dll loaded from such a library and driven only
// through its exports and COM interfaces, the way the shell drives it
// (LoadLibrary, DllGetClassObject, IShellExtInit::Initialize with the shell's
// own data object, IContextMenu::QueryContextMenu on a real popup menu).
// Nothing here reaches into the library's internals, so the benchmarks
// measure whatever the library does inside.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// QueryPerformanceCounter, in seconds.
double Seconds();
// The median of `v` (the upper one of an even count); 0 for none.
double Median(std::vector<double> v);
// argv[index] as a number of at least `minimum`; `fallback` when absent.
int ArgInt(int argc, char** argv, int index, int fallback, int minimum);

// Group folders of a benchmark library, in the order actions are dealt to
// them: action i goes to kBenchGroups[i % 10]. The first three match a
// selection of .txt files (all files, .txt, .txt or .log), the other seven do
// not, so 3 actions in 10 match such a selection.
extern const char* const kBenchGroups[10];
constexpr int kMatchingGroups = 3;

// Writes `actions` shortcuts into the group folders of `folder` (which must
// exist), named "Tool NNNN" with every third one carrying an order suffix,
// each pointing at the platform's notepad.exe with arguments of its own.
// Returns how many of them match a .txt file, or -1 when a write failed.
int WriteBenchLibrary(const std::string& folder, int actions);
// The shortcut path and name of benchmark action `i` (as written above).
std::string BenchActionName(int i);
// Writes one shortcut at `path` like the library's own.
bool WriteBenchShortcut(const std::string& path, int i);

// Copies the built Zentrik.dll (beside this program) into `folder`; returns
// the copy's path, empty on failure.
std::string CopyZentrik(const std::string& folder);

// Zentrik.dll loaded from one library folder.
class LoadedZentrik {
public:
    LoadedZentrik() = default;
    ~LoadedZentrik() { Unload(); }
    LoadedZentrik(const LoadedZentrik&) = delete;
    LoadedZentrik& operator=(const LoadedZentrik&) = delete;

    // LoadLibraryA of `dllPath` only; true when the module is there.
    bool Load(const std::string& dllPath);
    // DllGetClassObject for the extension's class; true when a factory was had.
    bool Connect();
    // A new extension object initialised with `data`, as the shell makes one
    // per right-click; null on failure. The caller releases it.
    IContextMenu* NewMenuObject(IDataObject* data);
    // Releases the factory, reports whether DllCanUnloadNow agreed, and
    // frees the library.
    bool Unload();

private:
    HMODULE module = nullptr;
    IClassFactory* factory = nullptr;
};

// QueryContextMenu(CMF_NORMAL) into `host` at position 0 with identifiers
// from 1; the number of identifiers used, or -1 on failure.
int BuildMenu(IContextMenu* menu, HMENU host);
