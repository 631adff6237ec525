// The extension library's own module handle.
//
// The library entry point keeps its instance handle here on process attach
// and clears it on process detach; the catalogue load asks the platform for
// this module's file (GetModuleFileNameA) to find the library's directory.
#pragma once

#include <windows.h>

extern HINSTANCE instanceHandle;
