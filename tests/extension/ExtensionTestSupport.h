// Fixtures shared by the extension's tests: a library folder laid out as a
// user lays it out (group folders of real shortcut files, a settings file,
// optionally a copy of the built Zentrik.dll), the shell's own data object
// for real files, the recording program, message boxes closed from a
// watcher thread, and child programs run with their output captured.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"

// A temporary action library.
class ActionLibrary {
public:
    ActionLibrary();
    bool Valid() const { return folder.Valid(); }
    const std::string& Path() const { return folder.Path(); }
    std::string operator/(const std::string& relative) const { return folder / relative; }

    // Copies the built Zentrik.dll (beside the test executable) into the
    // folder; returns its path there, empty on failure.
    std::string CopyLibrary() const;
    // Creates the group folder `group` (any name; nothing is checked).
    bool MakeGroup(const std::string& group) const;
    // Writes the shortcut <group>\<name>.lnk pointing at `target`.
    bool AddAction(const std::string& group, const std::string& name, const std::string& target,
                   const std::string& arguments = "") const;
    // An action that starts the recording program with `arguments`.
    bool AddRecorder(const std::string& group, const std::string& name, const std::string& arguments = "") const;
    // Writes Zentrik.ini with `text` (e.g. "[options]\nHideEmpty=0\n").
    bool WriteSettings(const std::string& text) const;
    // Creates a plain file (a selectable document) and returns its path.
    std::string AddFile(const std::string& relative, const std::string& bytes = "x") const;

private:
    TempDir folder;
};

// The built RecordArgs.exe beside the test executable.
std::string RecorderPath();

// Points the recording program's output at `file` for programs started from
// now on (through the environment they inherit) and removes any old record.
void UseRecordFile(const std::string& file);
// Waits up to `ms` for the record file and returns its CMD: line (the
// command line the program saw), or empty when none appeared.
std::string WaitForRecordedCommandLine(const std::string& file, DWORD ms = 15000);
// Splits a command line the way the C runtime does for argv (quotes group,
// a backslash before a quote escapes it). The program name is element 0.
std::vector<std::string> SplitCommandLine(const std::string& line);

// The shell's data object for `files` (all in one folder, in this drop
// order): SHParseDisplayName -> SHBindToParent -> GetUIObjectOf. Null on
// failure. The caller releases it.
IDataObject* ShellDataObject(const std::vector<std::string>& files);

// The captions, identifiers and states of the items of `menu`, one line per
// item: "<caption>|<id>|<flags>" where flags holds "g" for grayed, "o" for
// owner-drawn and "p" for a popup.
std::vector<std::string> DescribeMenu(HMENU menu);

// Closes the message boxes that appear on a given thread while it lives,
// keeping the caption and text of each.
class MessageBoxCloser {
public:
    explicit MessageBoxCloser(DWORD threadId);
    ~MessageBoxCloser();
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

    struct Box {
        std::string caption;
        std::string text;
    };
    // The boxes closed so far.
    std::vector<Box> Boxes();

private:
    static DWORD WINAPI Watch(void* self);
    DWORD threadId;
    HANDLE stop;
    HANDLE thread;
    CRITICAL_SECTION lock;
    std::vector<Box> boxes;
};

// Runs `commandLine` (UTF-8) with stdout and stderr captured; waits up to `ms`
// for the program to end. Returns the exit code, or -1 when it could not be
// started or timed out (then it is terminated, and the output ends with a
// line naming the windows it still showed).
int RunCaptured(const std::string& commandLine, std::string* output, DWORD ms = 60000);
