// The class identifier of the context-menu extension: the library serves it,
// the settings program registers it, the shell host creates it. Defined once,
// here, in both spellings.
#pragma once

#include <windows.h>

extern const CLSID kExtensionClassId;  // {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}
extern const char kClassIdText[];      // "{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", as the registry keys spell it
