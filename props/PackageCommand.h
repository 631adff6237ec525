// The commands that register and remove the Windows 11 menu's sparse package
// (packaging/msix) for the current user, and the words for their outcome.
//
// Windows has no documented flat C call for it; the settings program runs
// Windows PowerShell's package cmdlets, whose process exit code is the
// HRESULT of the failure (0 on success):
//
//   <powershell> -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command
//     "try { Add-AppxPackage -Path '<package>' -ExternalLocation '<folder>'
//      -ErrorAction Stop; exit 0 } catch { exit $_.Exception.HResult }"
//   ... "try { Get-AppxPackage -Name 'Zentrik.ContextMenu' |
//      Remove-AppxPackage -ErrorAction Stop; exit 0 } catch { ... }"
//
// Paths are PowerShell single-quoted literals: nothing in them is expanded,
// and each quote character PowerShell takes as a single quote (', and the
// typographic U+2018 to U+201B) is doubled. Platform-free (UTF-8 texts).
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

extern const char kPackageName[];  // "Zentrik.ContextMenu": Identity Name in the manifest

// The command line that registers `package` (the .msix) with `folder` (the
// install folder, a trailing backslash dropped) as external location, run by
// the PowerShell at `powershell`. False when `out` cannot hold it.
bool ComposeRegisterPackage(const char* powershell, const char* package, const char* folder, HeapText& out);
// The command line that removes every registered version of the package of
// the current user (nothing registered is no failure). False when `out`
// cannot hold it.
bool ComposeRemovePackage(const char* powershell, HeapText& out);

// The sentence telling the outcome `code` (the PowerShell's exit code, an
// HRESULT; 0 success) of registering (`enable`) or removing the package.
// Failures name their cause in words where it is known (an untrusted
// certificate, sideloading switched off) and say that the classic menu
// still works; success on registering says that Explorer may need a restart.
void DescribePackageOutcome(uint32_t code, bool enable, TextBuffer& out);
