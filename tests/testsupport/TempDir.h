// A fresh folder under the platform's temporary directory (on Wine the C:
// drive of the prefix), removed with everything in it on destruction.
#pragma once

#include <string>

class TempDir {
public:
    // Creates <temp>\<prefix><unique>\. Check Valid() before use.
    explicit TempDir(const char* prefix = "zk");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Valid() const { return !path_.empty(); }
    // The folder with a trailing backslash.
    const std::string& Path() const { return path_; }
    // Path() + relative.
    std::string operator/(const std::string& relative) const { return path_ + relative; }

    // Creates a sub-folder (relative may hold several levels, created in
    // turn); true when it exists afterwards.
    bool MakeFolder(const std::string& relative) const;
    // Writes `bytes` to the file, replacing it; true on success.
    bool WriteFile(const std::string& relative, const std::string& bytes) const;

private:
    std::string path_;
};

// Removes a folder tree (files first, then folders); true when it is gone.
bool RemoveTree(const std::string& folder);
// The path in wide characters (system code page).
std::wstring WidePath(const std::string& path);
// Between UTF-8 and UTF-16, for names of any script.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// Reads a whole file; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// Writes a whole file, replacing it.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
