// The folder where this user adds actions, as the dialog's "Open actions
// folder" button and the Start menu's "Zentrik Actions" (Zentprops.exe
// /actions) open it: the library folder (the program's own, where the group
// folders lie) when the user may create files there, else the user's own
// actions folder %APPDATA%\Zentrik\ (toolkit/UserActionsFolder.h), whose
// groups join the library's in the menu; that one is made on first use.
#pragma once

#include <windows.h>

#include "toolkit/TextBuffer.h"

// The folder, without its trailing backslash, into `folder`; makes the
// user's folder when it is the one and is missing. False (with `folder`
// naming what could not be had, or empty) when no folder can be offered.
bool ChooseActionsFolder(FixedText& folder);

// Chooses the folder and opens it in a shell folder window; on failure says
// so in a message box owned by `owner` (may be null). True when opened.
bool ShowActionsFolder(HWND owner);
