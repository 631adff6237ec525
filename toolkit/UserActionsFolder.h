// The folder of this user's own actions: %APPDATA%\Zentrik\ (the roaming
// application-data folder the shell names CSIDL_APPDATA), whose group folders
// join the library's in every menu.
#pragma once

#include "toolkit/TextBuffer.h"

// The folder's full path in UTF-8, ending in a backslash, into `out`; empty
// when the shell names no application-data folder or the path does not fit.
// Creates nothing. Returns `out`.
FixedText& UserActionsFolder(FixedText& out);
