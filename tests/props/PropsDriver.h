// Drives a running Zentprops.exe from another process, the way a user's
// clicks and keystrokes reach it: window messages to the dialog's controls.
// Used by the dialog tests and by the demo's props_driver tool. Texts and
// paths are UTF-8 here and go to the program and its controls in UTF-16.
#pragma once

#include <windows.h>

#include <string>

#include "tests/testsupport/TempDir.h"  // WideFromUtf8, Utf8FromWide

extern const char kPropsCaption[];  // "Zentrik Properties"

// One started copy of the program. The destructor ends a copy still running
// (by its own process handle) so that a failed test leaves nothing behind.
class PropsProcess {
public:
    PropsProcess() = default;
    ~PropsProcess();
    PropsProcess(const PropsProcess&) = delete;
    PropsProcess& operator=(const PropsProcess&) = delete;

    // Starts `program` (UTF-8) with its own folder as the current directory.
    bool Start(const std::string& program);
    // The dialog window of this process, waited for up to `timeoutMs`; null
    // when it did not appear.
    HWND WaitForDialog(DWORD timeoutMs) const;
    // True when the process ended within `timeoutMs`; its exit code in *code.
    bool WaitForExit(DWORD timeoutMs, DWORD* code) const;
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

// Waits up to `timeoutMs` until no copy of the program holds the named
// single-copy mutex ("Zentrik Start Process Mutex"); true when none does.
// A copy started while one does exits at once without a dialog.
bool WaitUntilNoCopyRuns(DWORD timeoutMs);

// Number of top-level windows captioned "Zentrik Properties", of any process.
int CountPropsDialogs();

// Controls, addressed by id in the dialog.
void Click(HWND dialog, int id);                            // BM_CLICK
void SetControlText(HWND dialog, int id, const std::string& text);  // WM_SETTEXT
std::string ControlText(HWND dialog, int id);               // WM_GETTEXT
bool IsChecked(HWND dialog, int id);                        // BM_GETCHECK == BST_CHECKED
bool IsEnabled(HWND dialog, int id);
// Sets a check box to `checked` by clicking it when it differs.
void SetCheck(HWND dialog, int id, bool checked);
