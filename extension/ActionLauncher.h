// Running one action for a selection as the user picked it: the one entry
// point every caller uses (the classic context menu, and any other surface
// that offers the same actions).
//
// The action runs once when its arguments hold no placeholder or only %*,
// once per file with %1 or %L; the files are passed by their short names
// in the order given. More than kRunsAsked runs of one click ask first
// ("Start Notepad 40 times?"). Files that do not fit one command line are
// offered in several runs, each with as many files as fit, in order; a
// name that alone does not fit is refused. Every line is composed before
// the first run starts: a file refused by any run starts none.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/ActionItem.h"
#include "toolkit/WideText.h"

enum LaunchFlags : DWORD {
    kLaunchNoUi = 1,  // no message box and no question: a failure, or a question unasked, is the result
};

// Runs `item` for `names` (full paths, long names, in the user's order;
// null for none), with `owner` as the parent of messages, questions and an
// elevation prompt. Returns S_OK when the action ran, when the user
// answered No or declined elevation, and (without kLaunchNoUi) when a
// failure was shown in a box; with kLaunchNoUi a failure gives its error:
// HRESULT_FROM_WIN32 of the system's code for a failed start,
// ERROR_FILENAME_EXCED_RANGE for a line too long, ERROR_BAD_ARGUMENTS for a
// name, program or placeholder refused, ERROR_CANCELLED for runs that would
// have needed a question. Never throws.
HRESULT RunAction(const ActionItem& item, const WideTextNode* names, HWND owner, DWORD flags);
