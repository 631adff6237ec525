#include "catalogue/Shortcuts.h"

#include "toolkit/Paths.h"
#include "toolkit/WideConvert.h"

ShellLinkFile::ShellLinkFile(const char* path) {
    // The path is at most 260 bytes; a path that does not convert into 260
    // wide characters would leave the buffer without its terminator, so it
    // counts as a failed load instead of being passed on.
    WCHAR wide[kFixedTextCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kFixedTextCapacity) == 0) return;
    Load(wide);
}

ShellLinkFile::ShellLinkFile(const wchar_t* path) { Load(path); }

void ShellLinkFile::Load(const wchar_t* wide) {
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive()) != S_OK) {
        link.Detach();  // a failed call holds no reference
        return;
    }
    if (link->QueryInterface(IID_IPersistFile, persistFile.Receive()) != S_OK) {
        persistFile.Detach();
        return;
    }
    loaded = persistFile->Load(wide, 0) == S_OK;
}

ShellLinkReader::ShellLinkReader() {
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive()) != S_OK) {
        link.Detach();
        return;
    }
    if (link->QueryInterface(IID_IPersistFile, persistFile.Receive()) != S_OK) persistFile.Detach();
}

bool ShellLinkReader::Load(const char* path) {
    if (!persistFile) return false;
    WCHAR wide[kFixedTextCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kFixedTextCapacity) == 0) return false;
    return persistFile->Load(wide, 0) == S_OK;
}

int IsShortcutFile(const char* name) {
    FixedText extension;
    ExtensionOf(extension, name);

    RegistryKey extensionKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension.Text(), 0, KEY_QUERY_VALUE, extensionKey.Receive()) !=
        ERROR_SUCCESS) {
        extensionKey.Detach();  // nothing was opened: nothing to close
        return 0;
    }
    // One byte more than the 260 offered, so a value stored without its
    // terminator still reads as a terminated class name.
    char value[kFixedTextCapacity + 1] = {};
    DWORD type = 0;
    DWORD size = kFixedTextCapacity;
    if (RegQueryValueExA(extensionKey.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return 0;
    }
    value[kFixedTextCapacity] = 0;

    RegistryKey classKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, value, 0, KEY_QUERY_VALUE, classKey.Receive()) != ERROR_SUCCESS) {
        classKey.Detach();
        return 0;
    }
    size = kFixedTextCapacity;
    int result = RegQueryValueExA(classKey.Get(), "IsShortcut", nullptr, &type, reinterpret_cast<BYTE*>(value),
                                  &size) == ERROR_SUCCESS &&
                 type == REG_SZ;
    classKey.Reset();  // class key first, then the extension key
    return result;
}

FixedText& ResolveShortcutTarget(FixedText& out, const char* path) {
    out.Assign("");
    ShellLinkFile shortcut(path);
    if (!shortcut.Loaded()) return out;
    WIN32_FIND_DATAA findData;
    shortcut.Link()->GetPath(out.storage, kFixedTextCapacity + 1, &findData, 0);
    out.Recount();
    return out;
}

HeapWide& ResolveShortcutTarget(HeapWide& out, const wchar_t* path) {
    out.FreeStorage();
    ShellLinkFile shortcut(path);
    if (!shortcut.Loaded()) return out;
    ComPtr<IShellLinkW> wideLink;
    if (shortcut.Link()->QueryInterface(IID_IShellLinkW, wideLink.Receive()) != S_OK) {
        wideLink.Detach();
        return out;
    }
    constexpr int kTargetLimit = 32767;
    if (!out.Reserve(kTargetLimit + 1)) return out;
    WIN32_FIND_DATAW findData;
    if (wideLink->GetPath(AsWide(out.storage), kTargetLimit + 1, &findData, 0) != S_OK) {
        out.FreeStorage();
        return out;
    }
    out.storage[kTargetLimit] = 0;
    out.length = WideLength(out.storage);
    return out;
}
