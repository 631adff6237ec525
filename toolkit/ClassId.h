// The class identifier of the context-menu extension: the library serves it,
// the settings program registers it, the shell host creates it. Defined once,
// here, in both spellings.
#pragma once

#include <windows.h>

extern const CLSID kExtensionClassId;  // {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}
extern const char kClassIdText[];      // "{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", as the registry keys spell it

// The class of the command objects (extension/ExplorerCommand.h) that put the
// same actions into the first context menu of Windows 11; the package
// manifest (packaging/msix) names it.
extern const CLSID kExplorerCommandClassId;  // {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7b1}
extern const char kExplorerCommandClassIdText[];  // "{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7b1}"
