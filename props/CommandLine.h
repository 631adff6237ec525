// The switches of the settings program, for installers and scripts:
//
//   Zentprops.exe                  the properties dialog
//   Zentprops.exe /enable [/quiet] register the extension, no dialog
//   Zentprops.exe /disable [/quiet] unregister it, no dialog
//   Zentprops.exe /actions         open the folder where this user adds
//                                  actions (props/ActionsFolder.h), no dialog
//
// Switches start with "/" or "-" and are matched without regard to case.
// Without /quiet the outcome is shown in a message box; it is also written
// as one line to the standard output when the program has one (a GUI program
// has none unless its starter redirected it).
//
// Exit codes (kExit*): 0 success; 2 an unknown switch, a switch without an
// action or two actions (with a usage box unless /quiet); 3 the actions
// folder could not be opened (a message box says so); 10 + the
// RegistrationStep that failed (10-20) when registering or unregistering
// failed, after the same rollback as the dialog's Apply; kExitModernMenu
// (30) when the extension was switched as asked but its Windows 11 package
// could not be registered or removed (props/ModernMenu.h; only where that
// menu applies).
#pragma once

#include <windows.h>

#include "props/Registration.h"
#include "toolkit/TextBuffer.h"

enum class SwitchAction {
    ShowDialog,  // no switches
    Enable,      // /enable
    Disable,     // /disable
    OpenActions, // /actions
    Usage,       // anything else
};

struct SwitchRequest {
    SwitchAction action;
    bool quiet;  // /quiet given
};

const int kExitUsage = 2;
const int kExitActionsFolder = 3;
const int kExitStepBase = 10;  // + RegistrationStep
const int kExitModernMenu = 30;

// Parses the command line as WinMain receives it (without the program name).
// Platform-free; a null text counts as empty.
SwitchRequest ParseSwitches(const char* commandLine);

// Carries out a request other than ShowDialog: registers or unregisters
// through SetRegistration (machine-wide, else for the current user; the
// message then says why when the library's folder was the reason), or
// reports the usage, and returns the exit code. `owner` parents the message
// boxes (may be null).
int RunSwitches(const SwitchRequest& request, HWND owner);

// The sentence (UTF-8) telling the outcome of SetRegistration: the failed
// registry step, or where the extension is now registered; when the user
// scope was chosen because the library is open to others, `why` (the
// reason SetRegistration gave; may be null) instead.
void DescribeOutcome(const RegistrationOutcome& outcome, bool enable, const char* why, TextBuffer& out);

// A message box with the settings program's caption; `text` is UTF-8, shown
// whole up to a FixedText's length (every message of the program is one).
void ShowMessage(HWND owner, const char* text, UINT flags);
