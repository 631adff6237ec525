#include "bench/BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/testsupport/Platform.h"
#include "tests/testsupport/Shortcut.h"

namespace {

// The extension's class, as the shell finds it in the registry.
const CLSID kZentrikClass = {0x5b1e0a42, 0x7c3d, 0x4f19, {0x9a, 0x6e, 0x2d, 0x8c, 0x41, 0xf0, 0xb7, 0xa3}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

}  // namespace

const char* const kBenchGroups[10] = {"EXT",     "EXT.txt", "EXT.txt.log", "EXT.doc", "EXT.pdf",
                                      "EXT.htm", "EXT.jpg", "EXT.zip",     "EXT.exe", "VERB"};

double Seconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int ArgInt(int argc, char** argv, int index, int fallback, int minimum) {
    int value = index < argc ? std::atoi(argv[index]) : fallback;
    return value < minimum ? minimum : value;
}

std::string BenchActionName(int i) {
    char name[64];
    // Numbers dealt out of order, so that sorting has work to do; every third
    // action sorts by an order number of its own.
    const int number = (i * 7919) % 10000;
    if (i % 3 == 0) {
        std::snprintf(name, sizeof name, "Tool %04d.(%d)", number, (i * 37) % 50);
    } else {
        std::snprintf(name, sizeof name, "Tool %04d", number);
    }
    return name;
}

bool WriteBenchShortcut(const std::string& path, int i) {
    static const std::string notepad = [] {
        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        return std::string(system) + "\\notepad.exe";
    }();
    ShortcutSpec link;
    link.target = notepad;
    link.arguments = "/bench " + std::to_string(i);
    return SUCCEEDED(WriteShortcut(path, link));
}

int WriteBenchLibrary(const std::string& folder, int actions) {
    for (const char* group : kBenchGroups) {
        if (!CreateDirectoryA((folder + group).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return -1;
    }
    int matching = 0;
    for (int i = 0; i < actions; ++i) {
        const std::string path = folder + kBenchGroups[i % 10] + "\\" + BenchActionName(i) + ".lnk";
        if (!WriteBenchShortcut(path, i)) return -1;
        if (i % 10 < kMatchingGroups) ++matching;
    }
    return matching;
}

std::string CopyZentrik(const std::string& folder) {
    const std::string target = folder + "Zentrik.dll";
    if (!CopyFileA((ExecutableDirectory() + "Zentrik.dll").c_str(), target.c_str(), FALSE)) return std::string();
    return target;
}

bool LoadedZentrik::Load(const std::string& dllPath) {
    Unload();
    module = LoadLibraryA(dllPath.c_str());
    return module != nullptr;
}

bool LoadedZentrik::Connect() {
    if (module == nullptr) return false;
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (getClassObject == nullptr) return false;
    return SUCCEEDED(getClassObject(kZentrikClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
}

IContextMenu* LoadedZentrik::NewMenuObject(IDataObject* data) {
    if (factory == nullptr) return nullptr;
    IShellExtInit* init = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)))) return nullptr;
    IContextMenu* menu = nullptr;
    if (FAILED(init->Initialize(nullptr, data, nullptr)) ||
        FAILED(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)))) {
        menu = nullptr;
    }
    init->Release();
    return menu;
}

bool LoadedZentrik::Unload() {
    if (factory != nullptr) {
        factory->Release();
        factory = nullptr;
    }
    if (module == nullptr) return true;
    auto canUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    const bool unloadable = canUnloadNow != nullptr && canUnloadNow() == S_OK;
    FreeLibrary(module);
    module = nullptr;
    return unloadable;
}

int BuildMenu(IContextMenu* menu, HMENU host) {
    const HRESULT hr = menu->QueryContextMenu(host, 0, 1, 0x7FFF, CMF_NORMAL);
    return FAILED(hr) ? -1 : HRESULT_CODE(hr);
}
