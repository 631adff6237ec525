#include "tests/testsupport/Shortcut.h"

#include <shlobj.h>

#include "tests/testsupport/TempDir.h"

namespace {

// Sets SLDF_RUNAS_USER in the saved link's header (its LinkFlags, 4 bytes
// at offset 20), where Windows' link object keeps it. Wine 8's link object
// takes the flag from IShellLinkDataList::SetFlags but leaves it out of the
// file it saves (observed: the flags read back without it), so the file is
// written as Windows writes it instead.
HRESULT SetRunAsFlag(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    DWORD flags = 0;
    DWORD done = 0;
    bool ok = SetFilePointer(file, 20, nullptr, FILE_BEGIN) == 20 && ReadFile(file, &flags, 4, &done, nullptr) &&
              done == 4;
    flags |= SLDF_RUNAS_USER;
    ok = ok && SetFilePointer(file, 20, nullptr, FILE_BEGIN) == 20 && WriteFile(file, &flags, 4, &done, nullptr) &&
         done == 4;
    CloseHandle(file);
    return ok ? S_OK : E_FAIL;
}

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
    IPersistFile* file = nullptr;
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(wide(path).c_str(), TRUE);
        file->Release();
    }
    if (SUCCEEDED(hr) && linkSpec.runAsAdministrator) hr = SetRunAsFlag(wide(path));
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
