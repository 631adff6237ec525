#include "tests/testsupport/Shortcut.h"

#include <shlobj.h>

#include "tests/testsupport/TempDir.h"

namespace {

HRESULT WriteShortcutIn(UINT codePage, const std::string& path, const ShortcutSpec& linkSpec) {
    auto wide = [codePage](const std::string& text) {
        return codePage == CP_UTF8 ? WideFromUtf8(text) : WidePath(text);
    };
    IShellLinkW* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) return hr;
    if (linkSpec.setTarget) hr = link->SetPath(wide(linkSpec.target).c_str());
    if (SUCCEEDED(hr) && !linkSpec.arguments.empty()) hr = link->SetArguments(wide(linkSpec.arguments).c_str());
    if (SUCCEEDED(hr) && !linkSpec.workingDirectory.empty())
        hr = link->SetWorkingDirectory(wide(linkSpec.workingDirectory).c_str());
    if (SUCCEEDED(hr)) hr = link->SetShowCmd(linkSpec.showCommand);
    if (SUCCEEDED(hr) && !linkSpec.iconPath.empty())
        hr = link->SetIconLocation(wide(linkSpec.iconPath).c_str(), linkSpec.iconIndex);
    if (SUCCEEDED(hr) && !linkSpec.description.empty())
        hr = link->SetDescription(wide(linkSpec.description).c_str());
    if (SUCCEEDED(hr) && linkSpec.runAsAdministrator) {
        IShellLinkDataList* data = nullptr;
        hr = link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data));
        DWORD flags = 0;
        if (SUCCEEDED(hr)) hr = data->GetFlags(&flags);
        if (SUCCEEDED(hr)) hr = data->SetFlags(flags | SLDF_RUNAS_USER);
        if (data != nullptr) data->Release();
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(wide(path).c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return hr;
}

}  // namespace

HRESULT WriteShortcut(const std::string& path, const ShortcutSpec& linkSpec) {
    return WriteShortcutIn(CP_ACP, path, linkSpec);
}

HRESULT WriteShortcutUtf8(const std::string& path, const ShortcutSpec& linkSpec) {
    return WriteShortcutIn(CP_UTF8, path, linkSpec);
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
