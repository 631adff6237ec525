// Shortcut files: which file types are shortcuts, and reading a shell link.
//
// A file type is a shortcut type when its extension key under
// HKEY_CLASSES_ROOT names a class (default value, REG_SZ) whose key holds a
// REG_SZ value "IsShortcut" (.lnk -> lnkfile on every system; .pif -> piffile
// on Windows). Nothing here reports a failure other than by its result.
//
// Shell links are read through the shell's link object (CLSID_ShellLink,
// IShellLinkW) on the calling thread, which must have initialised COM. Paths
// come in UTF-8 and go to the platform in UTF-16.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideText.h"

// A shell link object with a shortcut file loaded read-only. Each step
// counts only on S_OK: creating the object, asking for IPersistFile and
// Load. When a step fails the rest is skipped and Loaded() is false. The
// interfaces are released in reverse order of acquisition (IPersistFile,
// then IShellLinkW).
class ShellLinkFile {
public:
    explicit ShellLinkFile(const char* path);  // UTF-8
    // The same for a UTF-16 path of any length.
    explicit ShellLinkFile(const wchar_t* path);

    bool Loaded() const { return loaded; }
    // The link object; valid only when Loaded().
    IShellLinkW* Link() const { return link.Get(); }

private:
    // Asks for IPersistFile and loads `wide`, as the constructors describe.
    void Load(const wchar_t* wide);
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persistFile;
    bool loaded = false;
};

// One shell link object reused for every shortcut a catalogue load reads:
// creating the object costs as much as loading a shortcut into it. The
// object is created by the constructor (the calling thread must have
// initialised COM, see ComScope); Load replaces what the previous Load read.
class ShellLinkReader {
public:
    ShellLinkReader();

    // Loads the shortcut file at the UTF-8 `path` read-only; true on S_OK.
    // After a false result Link() must not be read until the next
    // successful Load.
    bool Load(const char* path);
    // The link object, loaded by the last successful Load.
    IShellLinkW* Link() const { return link.Get(); }

private:
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persistFile;
};

// COM for the calling thread for the scope of the object, balanced on that
// thread: CoInitialize when constructed, CoUninitialize when destroyed if
// (and only if) CoInitialize succeeded. On a thread the host initialised
// already (the shell's) it costs a count and changes nothing; on a
// multithreaded one CoInitialize fails and nothing is undone.
class ComScope {
public:
    ComScope() : result(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result;
};

// 1 when the extension part of the UTF-8 `name` (unchanged, not
// upper-cased) is a registered shortcut type, else 0. Only the extension is
// looked at, so a bare file name is enough.
int IsShortcutFile(const char* name);

// The target path of the shortcut file at the UTF-8 `path`, as the link
// reports it (not trimmed or unquoted), in `out`; empty when the link cannot
// be created or loaded. Returns `out`.
FixedText& ResolveShortcutTarget(FixedText& out, const char* path);

// The same for a shortcut named in UTF-16, into UTF-16; cut at 32,767
// units. Empty on any failure. Returns `out`.
HeapWide& ResolveShortcutTarget(HeapWide& out, const wchar_t* path);

// The arguments, working directory and target path of a loaded link, each
// read whole into `out` in UTF-8, exactly sized. The getters report no
// length: the buffer grows until the text ends before its last unit (a link
// holds at most 65,535 units per text), so a long argument list is never
// cut. Each counts only on S_OK; false, with `out` empty, when the getter
// fails or the storage cannot be had.
bool ReadLinkArguments(HeapText& out, IShellLinkW* link);
bool ReadLinkWorkingDirectory(HeapText& out, IShellLinkW* link);
bool ReadLinkPath(HeapText& out, IShellLinkW* link);
// The link's description (its comment), as the others; at most
// INFOTIPSIZE units.
bool ReadLinkDescription(HeapText& out, IShellLinkW* link);

// The link's data flags (SLDF_...) through IShellLinkDataList; 0 when the
// link offers none or the call fails.
DWORD ReadLinkFlags(IShellLinkW* link);
