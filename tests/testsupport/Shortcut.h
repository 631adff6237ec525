// Real shell link files for tests, written through the shell's own link
// object (IShellLinkW setters + IPersistFile::Save), and COM set-up for the
// test thread.
#pragma once

#include <windows.h>

#include <string>

// CoInitialize on construction, CoUninitialize on destruction when the
// initialisation succeeded (S_OK or S_FALSE).
class ComApartment {
public:
    ComApartment() : result(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (result == S_OK || result == S_FALSE) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const { return result; }

private:
    HRESULT result;
};

// What a shortcut holds (texts in the ANSI code page, or UTF-8 for
// WriteShortcutUtf8). Empty texts are not set at all (a link without
// arguments, working directory...); setTarget false leaves the link without
// a target path.
struct ShortcutSpec {
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    int showCommand = SW_SHOWNORMAL;
    bool setTarget = true;
    std::string iconPath;  // icon location (with iconIndex); not set when empty
    int iconIndex = 0;
    std::string description;         // the link's comment; not set when empty
    bool runAsAdministrator = false; // sets SLDF_RUNAS_USER among the link's data flags
};

// Writes the link to `path` (any extension: .lnk, .pif...). Returns the
// first failing HRESULT, or the result of Save. SetPath of a target that
// does not exist returns S_FALSE and is not a failure. The caller's thread
// must have initialised COM.
HRESULT WriteShortcut(const std::string& path, const ShortcutSpec& linkSpec);
// The same with `path` and every text of `linkSpec` in UTF-8, for names
// outside the ANSI code page.
HRESULT WriteShortcutUtf8(const std::string& path, const ShortcutSpec& linkSpec);

// Writes a .lnk on a short temporary name and renames it to `path` with the
// wide \\?\ form, for file names whose full path is beyond what the ANSI
// calls accept. Returns true when the file exists under `path` afterwards.
bool WriteShortcutLongName(const std::string& folder, const std::string& name, const ShortcutSpec& linkSpec);
