// Switching the extension on and off in the registry.
//
// The shell loads Zentrik.dll only while two sets of entries exist under
// HKEY_CLASSES_ROOT: the in-process server registration of the class
//   CLSID\{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}                 (default) "Zentrik.dll"
//   CLSID\{...}\InprocServer32   (default) <program directory>\Zentrik.dll
//                                ThreadingModel "Apartment"
// and the context-menu handler for all files
//   *\shellex\ContextMenuHandlers\ZentrikMenu                     (default) "{5b1e...b7a3}"
// Every value is REG_SZ stored with its terminating zero.
//
// The registry calls go through the process's own view: a 32-bit program
// writes and tests the 32-bit view of CLSID (Wow6432Node on a 64-bit system),
// a 64-bit one the 64-bit view. The "*" handler key is shared by both views.
//
// Two scopes hold the same keys and values: the machine-wide one, reached
// through HKEY_CLASSES_ROOT, and the current user's, under
// HKEY_CURRENT_USER\Software\Classes. Registering tries the machine first;
// when a step there is refused with ERROR_ACCESS_DENIED (every user without
// administrator rights on Windows), that attempt is rolled back and the user
// scope is written instead. The machine is not tried at all when users other
// than administrators may change the library's folder (props/FolderSecurity.h):
// every user's shell would load whatever library such a user put there.
// Unregistering clears both scopes. (Wine 8's COM does not read the
// user scope: a class registered only there is not created under Wine.)
//
// Both architectures register the same class in their own view and share
// the one handler key: unregistering one deletes the handler key only while
// the other view of the same scope holds no class key, so the other
// architecture's menu keeps working. The extension counts as registered in
// a scope only while the class key and the handler key are both there.
//
// Registration is the one place of the system that throws: each failing
// registry call throws SSEXP with the code of its step, and the catch in the
// same operation rolls back what that attempt created. Nothing escapes; the
// outcome is returned, and IsRegistered tells the state.
#pragma once

#include <windows.h>

#include <cstdint>

#include "props/FolderSecurity.h"
#include "toolkit/ClassId.h"
#include "toolkit/TextBuffer.h"

extern const char kLibraryFileName[];    // "Zentrik.dll"
extern const char kHandlerKeyName[];     // "ZentrikMenu"
extern const char kHandlersKeyPath[];    // "*\shellex\ContextMenuHandlers"

// The step that failed. Codes 0-8 belong to registering, 9-10 to unregistering;
// the rollback of a failed attempt is chosen by this code.
enum RegistrationStep : int32_t {
    kStepOpenClassRoot = 0,       // open CLSID with KEY_CREATE_SUB_KEY
    kStepCreateClassKey = 1,      // create the class key under it
    kStepSetClassName = 2,        // class key's default value
    kStepCreateServerKey = 3,     // create InprocServer32 under the class key
    kStepSetServerPath = 4,       // InprocServer32's default value
    kStepSetThreadingModel = 5,   // ThreadingModel
    kStepOpenHandlers = 6,        // open *\shellex\ContextMenuHandlers
    kStepCreateHandlerKey = 7,    // create ZentrikMenu under it
    kStepSetHandlerClass = 8,     // ZentrikMenu's default value
    kStepUnregOpenClassRoot = 9,  // unregister: open CLSID
    kStepUnregOpenHandlers = 10,  // unregister: open *\shellex\ContextMenuHandlers
};

// The exception of registration. Thrown with status 0, the step's code and
// an empty message; a handler copies it field by field before acting on it.
struct SSEXP {
    int32_t status;     // 0 in every throw of the registration
    int32_t code;       // RegistrationStep that failed
    FixedText message;  // empty in every throw of the registration

    SSEXP(int32_t statusValue, int32_t codeValue) : status(statusValue), code(codeValue) {}
    SSEXP(const SSEXP& other) : status(other.status), code(other.code) { message.Assign(other.message.Text()); }
    SSEXP& operator=(const SSEXP&) = delete;
};

// Where the registration lives.
enum class RegistrationScope : int32_t {
    None = 0,     // not registered
    Machine = 1,  // HKEY_CLASSES_ROOT (HKLM\Software\Classes on Windows)
    User = 2,     // HKEY_CURRENT_USER\Software\Classes
};

// What SetRegistration did.
struct RegistrationOutcome {
    bool succeeded;           // registered (or, unregistering, registered nowhere any more)
    int32_t failedStep;       // RegistrationStep that failed; -1 when succeeded
    RegistrationScope scope;  // registering: the scope written; unregistering: None
    bool folderOpen = false;  // registering: the library's folder may be changed by users other
                              // than administrators, so only the user scope was written
};

// Why a registration went to the current user only although the program may
// write the machine-wide keys; shown by the switches and the dialog.
extern const char kFolderOpenNote[];

// Registers (flag non-zero) or unregisters (flag zero) the extension.
// Registering again overwrites the values of the existing keys. A failed
// register removes the class key this attempt created or opened (steps 2-8)
// and, for step 8, the handler key as well; steps 0 and 1 leave the registry
// as it was. A machine-wide attempt refused with ERROR_ACCESS_DENIED is
// retried in the user scope (see above); any other failure is final. When
// the library's folder is open to other users (folderOpen), the user scope
// is written at once and a machine-wide registration of this view is removed
// as far as the program may.
// Unregistering works on both scopes: in each, it deletes nothing when CLSID
// or the handlers key cannot be opened, and deletions that fail (nothing
// registered) are ignored; the shared handler key is deleted only when the
// other registry view of that scope holds no class key; it succeeds when afterwards neither scope holds
// the class key, and otherwise names the step that failed in a scope that
// still does (9 when none failed). After a success the shell is told that
// associations changed (SHChangeNotify SHCNE_ASSOCCHANGED), so it drops
// cached handler lists.
RegistrationOutcome SetRegistration(int flag);

// The scope in which both CLSID\{class id} (this process's view) and the
// handler key ZentrikMenu open with KEY_QUERY_VALUE, the user's looked at
// first (on Windows HKEY_CLASSES_ROOT shows the user's keys too); the keys
// are closed at once. A half registration (one of the two missing) counts
// as None, so the dialog offers to repair it.
RegistrationScope RegisteredScope();
// RegisteredScope() != None.
bool IsRegistered();

// The registry calls of this unit, one entry per platform call. Replaceable
// so that tests can make a chosen call fail against the real registry; the
// default entries are the platform's own functions. Values are set with the
// wide call, so the library's path reaches the registry whole whatever
// folder it lies in; key names are ASCII and use the ANSI calls.
struct RegistryCalls {
    decltype(&RegOpenKeyExA) openKey;
    decltype(&RegCreateKeyExA) createKey;
    decltype(&RegSetValueExW) setValue;
    decltype(&RegDeleteKeyA) deleteKey;
    decltype(&RegCloseKey) closeKey;
    SecurityReader readSecurity;  // the library folder's owner and access list
};
RegistryCalls PlatformRegistryCalls();
// Installs `calls` and returns the previous set.
RegistryCalls SetRegistryCalls(const RegistryCalls& calls);
