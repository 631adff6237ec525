// The identity of a file: its volume serial number and file index, as
// "serial-high-low" in hex. Two paths name the same file exactly when their
// identities match, whatever text they reached a program as. Header-only, so
// that RecordArgs (a program of its own) and the tests share one definition.
#pragma once

#include <windows.h>

#include <string>

// "-" when the file cannot be opened or read.
inline std::string FileIdentity(const wchar_t* path) {
    HANDLE h = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "-";
    BY_HANDLE_FILE_INFORMATION info = {};
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return "-";
    char text[64];
    wsprintfA(text, "%lx-%lx-%lx", info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    return text;
}
