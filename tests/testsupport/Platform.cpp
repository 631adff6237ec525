#include "tests/testsupport/Platform.h"

#include <windows.h>

namespace {

using WineGetVersion = const char*(__cdecl*)();

WineGetVersion WineVersionExport() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<WineGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
}

}  // namespace

bool RunningOnWine() { return WineVersionExport() != nullptr; }

std::string WineVersion() {
    WineGetVersion get = WineVersionExport();
    return get != nullptr ? std::string(get()) : std::string();
}

std::string ExecutableDirectory() {
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, n);
    size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}
