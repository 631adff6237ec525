// The settings program's side of the Windows 11 menu: whether it applies on
// this computer, registering and removing the sparse package Zentrik.msix
// that lies beside Zentprops.exe (with the program's folder as external
// location, for the current user), and the user's choice.
//
// It applies on Windows 11 (build 22000 or later, as RtlGetVersion tells;
// Wine 8 reports an older build) to the program whose bitness is the
// system's: the x86 copy that the installer puts into x86\ on 64-bit Windows
// leaves the package to the x64 one.
#pragma once

#include <windows.h>

#include <cstdint>

// The system's build number (RtlGetVersion, which no compatibility layer
// lowers); 0 when it cannot be had.
uint32_t WindowsBuildNumber();

// Whether the Windows 11 menu applies to this program on this computer.
bool ModernMenuApplies();

// Registers (`enable`) or removes the package through the composed
// PowerShell command (props/PackageCommand.h), waiting up to two minutes.
// Returns 0 on success, else the HRESULT: the command's exit code,
// 0x80070002 when Zentrik.msix is missing (registering), or the error of a
// command that could not be run or did not end in time.
uint32_t SetModernMenu(bool enable);

// The user's choice of the dialog's "Show in the Windows 11 menu" box,
// HKEY_CURRENT_USER\Software\Zentrik, value Windows11Menu (REG_DWORD);
// true when never made.
bool ModernMenuWanted();
// Keeps the choice; false when it cannot be written.
bool KeepModernMenuWanted(bool wanted);
