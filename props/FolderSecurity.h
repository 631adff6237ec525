// Who may change the files of a folder, read from its security descriptor.
//
// The shell loads a machine-wide registered library into every user's
// programs, elevated ones included. Such a registration is safe only while
// nobody but the machine's administrators can replace the library, so the
// settings program registers machine-wide only for a folder whose descriptor
// grants write access to no one beyond the Administrators group, SYSTEM,
// TrustedInstaller and the user running the program (the administrator who
// installs it).
//
// Wine 8 keeps no real access lists: it reports a descriptor made from the
// Unix permission bits (SYSTEM, the owner, Everyone; never BUILTIN\Users),
// so a folder open to everyone there reads as an Everyone entry with write
// access (measured).
#pragma once

#include <windows.h>
#include <aclapi.h>

// The reader of a named object's descriptor (GetNamedSecurityInfoW or a
// test's replacement). A descriptor it returns is freed with LocalFree.
using SecurityReader = decltype(&GetNamedSecurityInfoW);

// True when `descriptor` lets nobody write (create, replace, delete, change
// the access list or the owner) but the trusted accounts above and
// `installer` (may be null). False for a descriptor without an access list
// (everyone has full access), for an owner outside those accounts (an owner
// may always rewrite the list), for any allowing entry with a write right for
// another account, inherit-only entries included (the files in the folder
// inherit them); CREATOR OWNER and CREATOR GROUP entries count for nobody
// (they take effect only for someone who may already create files). Deny
// entries are not weighed. An entry of a kind not understood counts as open.
bool OnlyAdministratorsMayWrite(PSECURITY_DESCRIPTOR descriptor, PSID installer);

// Reads the owner and access list of `folder` through `read` and decides as
// above for the user the process runs as. False when the descriptor or the
// user cannot be read.
bool FolderOnlyAdministratorsMayWrite(const char* folder, SecurityReader read);
