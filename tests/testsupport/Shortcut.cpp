#include "tests/testsupport/Shortcut.h"

#include <shlobj.h>

#include "tests/testsupport/TempDir.h"

HRESULT WriteShortcut(const std::string& path, const ShortcutSpec& linkSpec) {
    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) return hr;
    if (linkSpec.setTarget) hr = link->SetPath(linkSpec.target.c_str());
    if (SUCCEEDED(hr) && !linkSpec.arguments.empty()) hr = link->SetArguments(linkSpec.arguments.c_str());
    if (SUCCEEDED(hr) && !linkSpec.workingDirectory.empty()) hr = link->SetWorkingDirectory(linkSpec.workingDirectory.c_str());
    if (SUCCEEDED(hr)) hr = link->SetShowCmd(linkSpec.showCommand);
    if (SUCCEEDED(hr) && !linkSpec.iconPath.empty()) hr = link->SetIconLocation(linkSpec.iconPath.c_str(), linkSpec.iconIndex);
    IPersistFile* file = nullptr;
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(WidePath(path).c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return hr;
}

bool WriteShortcutLongName(const std::string& folder, const std::string& name, const ShortcutSpec& linkSpec) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    std::string temporary = dir + "zk-long-name-staging.lnk";
    if (FAILED(WriteShortcut(temporary, linkSpec))) return false;
    std::wstring from = L"\\\\?\\" + WidePath(temporary);
    std::wstring to = L"\\\\?\\" + WidePath(dir + name);
    if (!MoveFileW(from.c_str(), to.c_str())) {
        DeleteFileW(from.c_str());
        return false;
    }
    return GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES;
}
