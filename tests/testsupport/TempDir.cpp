#include "tests/testsupport/TempDir.h"

#include <windows.h>

TempDir::TempDir(const char* prefix) {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n > MAX_PATH) return;
    // Tick count and process id keep parallel runs apart; the counter keeps
    // the folders of one run apart.
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = std::string(temp) + prefix + std::to_string(GetCurrentProcessId()) + "_" +
                                std::to_string(InterlockedIncrement(&counter));
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate + "\\";
            return;
        }
    }
}

TempDir::~TempDir() {
    if (Valid()) RemoveTree(path_.substr(0, path_.size() - 1));
}

bool TempDir::MakeFolder(const std::string& relative) const {
    std::string built = path_;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos) end = relative.size();
        built += relative.substr(start, end - start);
        CreateDirectoryA(built.c_str(), nullptr);
        built += "\\";
        start = end + 1;
    }
    DWORD attributes = GetFileAttributesA((path_ + relative).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TempDir::WriteFile(const std::string& relative, const std::string& bytes) const {
    return WriteWholeFile(path_ + relative, bytes);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes->append(chunk, got);
    CloseHandle(h);
    return true;
}

namespace {

bool RemoveTreeWide(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeWide(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    return RemoveDirectoryW(folder.c_str()) != 0;
}

}  // namespace

bool RemoveTree(const std::string& folder) {
    // Wide calls with the \\?\ prefix, so that entries whose full path is
    // longer than 260 bytes (tests make such on purpose) go as well.
    std::wstring wide = WidePath(folder);
    if (wide.rfind(L"\\\\?\\", 0) != 0) wide = L"\\\\?\\" + wide;
    return RemoveTreeWide(wide);
}

namespace {

std::wstring Widen(const std::string& text, UINT codePage) {
    int n = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

}  // namespace

std::wstring WidePath(const std::string& path) { return Widen(path, CP_ACP); }

std::wstring WideFromUtf8(const std::string& text) { return Widen(text, CP_UTF8); }

std::string Utf8FromWide(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(n - 1));
    return bytes;
}
