// Whether anyone but the machine's administrators can change what a
// machine-wide registration of the library would make every user run.
//
// The shell loads a machine-wide registered library into every user's
// programs, elevated ones included, and the library starts the actions of
// its group folders there. Such a registration is safe only while nobody but
// the Administrators group, SYSTEM and TrustedInstaller can change any of it:
// the library file, its folder, every folder and file of the library tree
// beside it (group folders, shortcuts), and every parent folder up to the
// root (whoever may rename or delete a parent's child can put another folder
// in its place). The user running the settings program is not trusted as
// such: under UAC the user's own SID is enabled in the unelevated token too,
// so an entry for that SID lets the user's ordinary programs change the
// library that elevated processes then load. A junction or other reparse
// point anywhere on the path or in the tree can be pointed elsewhere, and on
// a network path the "Administrators" of an access list are the server's:
// both count as open.
//
// Wine 8 keeps no real access lists: it reports a descriptor made from the
// Unix permission bits, owned by the user running Wine (a file of another
// Unix user by ANONYMOUS LOGON), with SYSTEM, that owner (always holding
// WRITE_DAC and WRITE_OWNER, even after chmod a-w) and Everyone; its drive
// Z:\ reads as a reparse point (all measured). So under Wine no folder is
// closed; tests decide on descriptors through the readers below.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <cstdint>

#include "toolkit/TextBuffer.h"

// The reader of a named object's descriptor (GetNamedSecurityInfoW or a
// test's replacement). A descriptor it returns is freed with LocalFree.
using SecurityReader = decltype(&GetNamedSecurityInfoW);

// The platform calls the check reads through; replaceable by tests.
struct TrustReaders {
    SecurityReader readSecurity;                    // owner and access list of a path
    decltype(&GetFileAttributesW) readAttributes;   // reparse point or not, of a path on the way down
    decltype(&GetDriveTypeW) readDriveType;         // network drive or not, of "X:\"
};
TrustReaders PlatformTrustReaders();

// What an object is to the library, which decides the rights that count.
enum class GuardedRole {
    Content,  // the library, its folder and the tree beside it: any right to
              // write, delete or take over counts, inherit-only entries too
              // (new files in the folder inherit them)
    Parent,   // a folder on the way down: rights to delete or rename its
              // children or itself, or to take it over; inherit-only
              // entries do not apply to the folder itself
};

// True when `descriptor` lets nobody but Administrators, SYSTEM and
// TrustedInstaller change the object in its role. False for a descriptor
// without an access list (everyone has full access), for an owner outside
// those accounts (an owner may always rewrite the list), and for an allowing
// entry with a counted right for another account; CREATOR OWNER and
// CREATOR GROUP entries count for nobody (they take effect only for someone
// who may already create files). Deny entries are not weighed. An allowing
// entry of a kind not understood counts as open.
bool OnlyAdministratorsMayWrite(PSECURITY_DESCRIPTOR descriptor, GuardedRole role);

// The first reason found why a machine-wide registration is unsafe.
enum class LibraryTrust : int32_t {
    Closed = 0,      // only administrators may change any of it
    Writable = 1,    // `object` may be changed by someone else
    Unreadable = 2,  // `object`'s descriptor or attributes could not be read,
                     // or the tree could not be listed
    Reparse = 3,     // `object` is a junction or another reparse point
    Network = 4,     // the folder is on a network path (UNC or a network drive)
};

struct TrustFinding {
    LibraryTrust verdict = LibraryTrust::Unreadable;
    FixedText object;  // UTF-8 path the verdict is about; empty for Closed
};

// Checks, into `finding`, the folder `folder` (UTF-8, no trailing backslash) holding the
// library `libraryName`: the network test on the path, then each parent
// from the root down (reparse point, descriptor as Parent), then the
// folder, the library file and every folder and file below the folder
// (reparse point, descriptor as Content). Stops at the first finding. A
// \\server\share path counts as Network, any other path that is not a full
// drive-letter path ("C:\...", also as "\\?\C:\...") as Unreadable.
void CheckLibraryTree(const char* folder, const char* libraryName, const TrustReaders& readers,
                      TrustFinding& finding);

// One sentence (UTF-8) saying why the registration is for the current user
// only, naming the object; empty for Closed.
void DescribeTrust(const TrustFinding& finding, TextBuffer& out);
