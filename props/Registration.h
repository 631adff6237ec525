// Switching the extension on and off in the registry.
//
// The shell loads Zentrik.dll only while two sets of entries exist in the
// classes it reads: the in-process server registration of the class
//   CLSID\{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}                 (default) "Zentrik.dll"
//   CLSID\{...}\InprocServer32   (default) <program directory>\Zentrik.dll
//                                ThreadingModel "Apartment"
// and the context-menu handler, the same key and value under four parents:
//   *\shellex\ContextMenuHandlers\ZentrikMenu                     (default) "{5b1e...b7a3}"
//   Directory\shellex\ContextMenuHandlers\ZentrikMenu             folders
//   Directory\Background\shellex\ContextMenuHandlers\ZentrikMenu  a folder's or the desktop's empty space
//   Drive\shellex\ContextMenuHandlers\ZentrikMenu                 drive roots
// all four always, whatever the library holds: the menu itself stays away
// where no group is offered. Every value is REG_SZ stored with its
// terminating zero. "The handler key" below stands for all four.
//
// The registry calls go through the process's own view: a 32-bit program
// writes and tests the 32-bit view of CLSID (Wow6432Node on a 64-bit system),
// a 64-bit one the 64-bit view. The "*" handler key is shared by both views.
//
// Two scopes hold the same keys and values: the machine-wide one under
// HKEY_LOCAL_MACHINE\Software\Classes (named so: HKEY_CLASSES_ROOT is a
// merged view on Windows, and a write through it lands under the user's
// classes where the key exists there), and the current user's, under
// HKEY_CURRENT_USER\Software\Classes. The shell reads both, the user's
// first. Registering tries the machine first;
// when a step there is refused with ERROR_ACCESS_DENIED (every user without
// administrator rights on Windows), that attempt is rolled back and the user
// scope is written instead. The machine is not tried at all unless only
// administrators may change the library, its folder, the tree of group
// folders and shortcuts beside it and the folders above it, on a local
// path without junctions (props/FolderSecurity.h): every user's shell would
// load whatever library or action someone else put there.
// Unregistering clears both scopes. (Wine 8's COM does not read the
// user scope: a class registered only there is not created under Wine.)
//
// Both architectures register the same class in their own view and share
// the one handler key: unregistering one, or rolling back its failed
// register, deletes a handler key only while the other view holds no class
// key in either scope, so the other architecture's menu keeps working. The extension counts as registered in
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
// The parents of the handler key, first the one of all files
// (kHandlersKeyPath), then folders, folder backgrounds and drives.
constexpr int32_t kHandlerParentCount = 4;
extern const char* const kHandlersKeyPaths[kHandlerParentCount];

// The step that failed. Codes 0-8 belong to registering, where the rollback
// of a failed attempt is chosen by this code; 9-10 name what unregistering
// could not remove.
enum RegistrationStep : int32_t {
    kStepOpenClassRoot = 0,       // open CLSID with KEY_CREATE_SUB_KEY
    kStepCreateClassKey = 1,      // create the class key under it
    kStepSetClassName = 2,        // class key's default value
    kStepCreateServerKey = 3,     // create InprocServer32 under the class key
    kStepSetServerPath = 4,       // InprocServer32's default value
    kStepSetThreadingModel = 5,   // ThreadingModel
    kStepOpenHandlers = 6,        // open one of the kHandlersKeyPaths (created where missing, see below)
    kStepCreateHandlerKey = 7,    // create ZentrikMenu under it
    kStepSetHandlerClass = 8,     // ZentrikMenu's default value (steps 6-8 run for each parent in turn)
    kStepUnregOpenClassRoot = 9,  // unregister: the class key is left in a scope
    kStepUnregOpenHandlers = 10,  // unregister: a handler key no architecture needs is left
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
    Machine = 1,  // HKEY_LOCAL_MACHINE\Software\Classes
    User = 2,     // HKEY_CURRENT_USER\Software\Classes
};

// What SetRegistration did.
struct RegistrationOutcome {
    bool succeeded;           // registered (or, unregistering, registered nowhere any more)
    int32_t failedStep;       // RegistrationStep that failed; -1 when succeeded
    RegistrationScope scope;  // registering: the scope written; unregistering: None
    bool folderOpen = false;  // registering: someone other than administrators may change the
                              // library or its tree (or it is on a network path or behind a
                              // junction), so only the user scope was written
};

// Registers (flag non-zero) or unregisters (flag zero) the extension.
// Registering again overwrites the values of the existing keys. A failed
// register removes the class key this attempt created or opened (steps 2-8),
// the handler keys of the parents it completed before the failing one
// (steps 6-8) and, for step 8, the failing parent's handler key as well;
// steps 0 and 1 leave the registry as it was. A machine-wide attempt refused with ERROR_ACCESS_DENIED is
// retried in the user scope (see above); any other failure is final. When
// the library is open to others (folderOpen), the user scope is written at
// once, a machine-wide registration is removed as far as the program may,
// and `why` (may be null) receives the sentence naming the reason; it is
// empty otherwise.
// Unregistering removes from both scopes whatever part exists, each part on
// its own (a half registration too): the class key of this view where CLSID
// opens, the shared handler key where the handlers key opens and the other
// view holds no class key. It succeeds when afterwards no scope holds this
// view's class key or an unneeded handler key; otherwise failedStep is 9
// (class key left, the machine's named before the user's) or 10 (handler
// key left). After a success the shell is told that associations changed
// (SHChangeNotify SHCNE_ASSOCCHANGED), so it drops cached handler lists.
RegistrationOutcome SetRegistration(int flag, TextBuffer* why = nullptr);

// The scope in which both CLSID\{class id} (this process's view) and the
// handler key ZentrikMenu under each of the four parents open with
// KEY_QUERY_VALUE, the user's looked at
// first (on Windows HKEY_CLASSES_ROOT shows the user's keys too); the keys
// are closed at once. A half registration (one of the two missing) counts
// as None (so does one from before the folder keys), so the dialog offers
// to repair it.
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
    TrustReaders trust;  // what the library's tree and path are read through
};
RegistryCalls PlatformRegistryCalls();
// Installs `calls` and returns the previous set.
RegistryCalls SetRegistryCalls(const RegistryCalls& calls);
