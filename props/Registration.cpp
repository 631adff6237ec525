#include "props/Registration.h"

#include <shlobj.h>

#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

const char kLibraryFileName[] = "Zentrik.dll";
const char kHandlerKeyName[] = "ZentrikMenu";
const char kHandlersKeyPath[] = "*\\shellex\\ContextMenuHandlers";
const char* const kHandlersKeyPaths[kHandlerParentCount] = {
    kHandlersKeyPath,
    "Directory\\shellex\\ContextMenuHandlers",
    "Directory\\Background\\shellex\\ContextMenuHandlers",
    "Drive\\shellex\\ContextMenuHandlers",
};

namespace {

const char kServerKeyName[] = "InprocServer32";
const wchar_t kThreadingModelName[] = L"ThreadingModel";
const char kApartment[] = "Apartment";

RegistryCalls g_calls = PlatformRegistryCalls();

// The registry view of the other architecture: a 64-bit program's other view
// is the 32-bit one and the reverse. (On 32-bit Windows, which has one view,
// KEY_WOW64_64KEY is ignored and the own view is read again.)
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// Where one scope keeps the parent keys of the registration.
struct ScopeKeys {
    HKEY root;                 // predefined key the paths start from
    const char* classRoot;     // the CLSID key
    const char* classes;       // the classes key, ending in a backslash: the handler parents lie below
    bool createParents;        // create every parent when missing (the user's
                               // classes usually lack *\shellex\...)
};
// The machine's keys are named under HKEY_LOCAL_MACHINE: on Windows a write
// through HKEY_CLASSES_ROOT lands under the user's classes whenever the key
// exists there, so it could make a registration for all users a per-user one.
const ScopeKeys kMachineScope = {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", "Software\\Classes\\", false};
const ScopeKeys kUserScope = {HKEY_CURRENT_USER, "Software\\Classes\\CLSID", "Software\\Classes\\", true};

// Writes the path of handler parent `index` (kHandlersKeyPaths) in `scope`
// into `path`; it always fits.
const char* HandlersPath(FixedText& path, const ScopeKeys& scope, int32_t index) {
    path.Assign(scope.classes).Append(kHandlersKeyPaths[index]);
    return path.Text();
}

// Throws the step's SSEXP unless the call succeeded; the platform's result
// is kept in `failure` for the caller's choice of scope.
void Check(LSTATUS result, RegistrationStep step, LSTATUS& failure) {
    if (result == ERROR_SUCCESS) return;
    failure = result;
    throw SSEXP(0, step);
}

LSTATUS OpenForCreate(HKEY parent, const char* path, HKEY* key) {
    return g_calls.openKey(parent, path, 0, KEY_CREATE_SUB_KEY, key);
}

// Opens a parent key for adding a key below it; created when missing where
// the scope says so or `create` asks for it.
LSTATUS OpenParent(const ScopeKeys& scope, const char* path, HKEY* key, bool create = false) {
    if (!scope.createParents && !create) return OpenForCreate(scope.root, path, key);
    return g_calls.createKey(scope.root, path, 0, nullptr, 0, KEY_CREATE_SUB_KEY, nullptr, key, nullptr);
}

LSTATUS CreateKey(HKEY parent, const char* name, HKEY* key) {
    return g_calls.createKey(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// REG_SZ in UTF-16 with its terminating zero: data length is the text's
// units plus 1, in bytes. `text` is UTF-8 from a FixedText or a constant, so
// its UTF-16 form always fits.
LSTATUS SetText(HKEY key, const wchar_t* name, const char* text) {
    FixedWide<> wideText;
    AppendUtf16(wideText, text);
    return g_calls.setValue(key, name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(wideText.Text()),
                            static_cast<DWORD>((wideText.Length() + 1) * sizeof(char16_t)));
}

// Closes a key this attempt holds; a key never acquired is left alone.
void Close(HKEY& key) {
    if (key != nullptr) g_calls.closeKey(key);
    key = nullptr;
}

// The platform's RegDeleteKeyA does not delete a key that still has subkeys
// (Windows NT and Wine 8 both answer ERROR_ACCESS_DENIED and keep the key).
// The class key always has InprocServer32 below it once registered, so that
// subkey goes first; otherwise the class key would survive every unregister
// and IsRegistered would keep answering true. Results are ignored: what is
// not there needs no deleting.
void DeleteClassKey(HKEY classRoot) {
    FixedText serverPath(kClassIdText);
    serverPath.Append("\\").Append(kServerKeyName);
    g_calls.deleteKey(classRoot, serverPath.Text());
    g_calls.deleteKey(classRoot, kClassIdText);
}

// True when `parent`\`name` of the scope opens for reading in `view` (0:
// the process's own); the key is closed at once.
bool HoldsKey(const ScopeKeys& scope, const char* parent, const char* name, REGSAM view) {
    FixedText path(parent);
    path.Append("\\").Append(name);
    HKEY key = nullptr;
    if (g_calls.openKey(scope.root, path.Text(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    g_calls.closeKey(key);
    return true;
}

bool HoldsClassKey(const ScopeKeys& scope, REGSAM view = 0) {
    return HoldsKey(scope, scope.classRoot, kClassIdText, view);
}

// How many of the four handler keys the scope holds. They are shared by
// both views and read without a view flag (Wine 8 answers "not found" to a
// 64-bit program that asks for HKEY_CLASSES_ROOT\*\... with
// KEY_WOW64_32KEY).
int32_t HandlerKeysHeld(const ScopeKeys& scope) {
    int32_t held = 0;
    for (int32_t i = 0; i < kHandlerParentCount; ++i) {
        FixedText path;
        if (HoldsKey(scope, HandlersPath(path, scope, i), kHandlerKeyName, 0)) ++held;
    }
    return held;
}

// True while the other architecture's class is registered in either scope:
// the shell reads both, so the shared handler key of either scope may be
// the one that architecture's menu needs.
bool OtherArchitectureRegistered() {
    return HoldsClassKey(kUserScope, kOtherView) || HoldsClassKey(kMachineScope, kOtherView);
}

// The keys one register or unregister attempt holds, null until acquired.
struct HeldKeys {
    HKEY classRoot = nullptr;  // CLSID
    HKEY classKey = nullptr;   // CLSID\{class id}
    HKEY serverKey = nullptr;  // ...\InprocServer32
    HKEY handlers = nullptr;   // the handler parent being written (kHandlersKeyPaths)
    HKEY handler = nullptr;    // ...\ZentrikMenu
    int32_t parentsDone = 0;   // handler parents whose ZentrikMenu this attempt has written
    LSTATUS failure = ERROR_SUCCESS;  // the failed call's result
};

// Deletes ZentrikMenu under the handler parents 0 .. count-1 of `scope`
// where the parent opens and the other architecture does not need it.
// Results are ignored: what does not open or is not there stays as it is,
// and SetRegistration tells what was left.
void RemoveHandlerKeys(const ScopeKeys& scope, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        FixedText path;
        HKEY handlers = nullptr;
        if (OpenForCreate(scope.root, HandlersPath(path, scope, i), &handlers) != ERROR_SUCCESS) continue;
        if (!OtherArchitectureRegistered()) g_calls.deleteKey(handlers, kHandlerKeyName);
        Close(handlers);
    }
}

// Undoes a failed attempt in `scope` by the code of its failed step. Each
// code does its own actions and then those of the codes it falls through
// to. The shared handler keys go only while the other architecture does not
// need them.
void RollBack(int32_t code, HeldKeys& keys, const ScopeKeys& scope) {
    switch (code) {
        case kStepSetHandlerClass:
            Close(keys.handler);
            if (!OtherArchitectureRegistered()) g_calls.deleteKey(keys.handlers, kHandlerKeyName);
            [[fallthrough]];
        case kStepCreateHandlerKey:
            Close(keys.handlers);
            [[fallthrough]];
        case kStepOpenHandlers:
            RemoveHandlerKeys(scope, keys.parentsDone);
            [[fallthrough]];
        case kStepSetServerPath:
        case kStepSetThreadingModel:
            Close(keys.serverKey);
            [[fallthrough]];
        case kStepSetClassName:
        case kStepCreateServerKey:
            Close(keys.classKey);
            DeleteClassKey(keys.classRoot);
            Close(keys.classRoot);
            break;
        case kStepCreateClassKey:
            Close(keys.classRoot);
            break;
        default:  // 0 and anything else: nothing is held
            break;
    }
}

void Register(const ScopeKeys& scope, HeldKeys& keys) {
    // Without the program's directory (its name did not fit) there is no
    // path to register: step 4 fails rather than register a library of the
    // current directory.
    FixedText libraryPath;
    if (!ProgramDirectory().Empty()) CombinePath(libraryPath, ProgramDirectory().Text(), kLibraryFileName);
    LSTATUS& failure = keys.failure;

    Check(OpenParent(scope, scope.classRoot, &keys.classRoot), kStepOpenClassRoot, failure);
    Check(CreateKey(keys.classRoot, kClassIdText, &keys.classKey), kStepCreateClassKey, failure);
    Check(SetText(keys.classKey, nullptr, kLibraryFileName), kStepSetClassName, failure);
    Check(CreateKey(keys.classKey, kServerKeyName, &keys.serverKey), kStepCreateServerKey, failure);
    Check(libraryPath.Empty() ? ERROR_BAD_PATHNAME : SetText(keys.serverKey, nullptr, libraryPath.Text()),
          kStepSetServerPath, failure);
    Check(SetText(keys.serverKey, kThreadingModelName, kApartment), kStepSetThreadingModel, failure);
    // Windows has all four parents machine-wide; Wine 8's prefix has only
    // "*" (and "folder") there (wine.inf), so the machine's folder,
    // background and drive parents are created where missing.
    for (int32_t i = 0; i < kHandlerParentCount; ++i) {
        FixedText path;
        Check(OpenParent(scope, HandlersPath(path, scope, i), &keys.handlers, i > 0), kStepOpenHandlers, failure);
        Check(CreateKey(keys.handlers, kHandlerKeyName, &keys.handler), kStepCreateHandlerKey, failure);
        Check(SetText(keys.handler, nullptr, kClassIdText), kStepSetHandlerClass, failure);
        Close(keys.handler);
        Close(keys.handlers);
        ++keys.parentsDone;
    }

    Close(keys.serverKey);
    Close(keys.classKey);
    Close(keys.classRoot);
}

// Removes whatever part of the registration the scope holds, each part on
// its own: the class key when CLSID opens, each handler key when its parent
// opens and the other architecture does not need it. A parent that does
// not open (missing, or refused) leaves its part as it is; whether the
// removal succeeded is told by what is left afterwards (see SetRegistration).
void Unregister(const ScopeKeys& scope) {
    HKEY classRoot = nullptr;
    if (OpenForCreate(scope.root, scope.classRoot, &classRoot) == ERROR_SUCCESS) {
        DeleteClassKey(classRoot);
        Close(classRoot);
    }
    RemoveHandlerKeys(scope, kHandlerParentCount);
}

// One register attempt in one scope, rolled back by the failed step's code.
// Returns that code, or -1 on success; `failure` receives the failed call's
// result.
int32_t AttemptRegister(const ScopeKeys& scope, LSTATUS& failure) {
    HeldKeys keys;
    try {
        Register(scope, keys);
    } catch (const SSEXP& thrown) {
        SSEXP caught(0, 0);
        caught.status = thrown.status;
        caught.code = thrown.code;
        caught.message.Assign(thrown.message.Text());
        RollBack(caught.code, keys, scope);
        failure = keys.failure;
        return caught.code;
    }
    return -1;
}

// The step that names what unregistering left in `scope`: the class key
// (9), or a handler key no architecture needs any more (10); -1 for nothing.
int32_t LeftBehind(const ScopeKeys& scope) {
    if (HoldsClassKey(scope)) return kStepUnregOpenClassRoot;
    if (HandlerKeysHeld(scope) > 0 && !OtherArchitectureRegistered()) return kStepUnregOpenHandlers;
    return -1;
}

}  // namespace

RegistryCalls PlatformRegistryCalls() {
    return RegistryCalls{RegOpenKeyExA, RegCreateKeyExA, RegSetValueExW, RegDeleteKeyA, RegCloseKey,
                         PlatformTrustReaders()};
}

RegistryCalls SetRegistryCalls(const RegistryCalls& calls) {
    RegistryCalls previous = g_calls;
    g_calls = calls;
    return previous;
}

RegistrationOutcome SetRegistration(int flag, TextBuffer* why) {
    RegistrationOutcome outcome{false, -1, RegistrationScope::None};
    if (why != nullptr) why->Assign("");
    LSTATUS failure = ERROR_SUCCESS;
    if (flag != 0) {
        FixedText folder;
        DirectoryOfNoSlash(folder, ProgramDirectory().Text());
        TrustFinding trust;
        CheckLibraryTree(folder.Text(), kLibraryFileName, g_calls.trust, trust);
        outcome.folderOpen = trust.verdict != LibraryTrust::Closed;
        if (why != nullptr) DescribeTrust(trust, *why);
        bool userScope = outcome.folderOpen;
        int32_t step = -1;
        if (outcome.folderOpen) {
            // A machine-wide registration left from before would keep the
            // folder's library in every user's shell: remove it where the
            // program may (a part refused stays).
            Unregister(kMachineScope);
        } else {
            step = AttemptRegister(kMachineScope, failure);
            userScope = step >= 0 && failure == ERROR_ACCESS_DENIED;
        }
        outcome.scope = RegistrationScope::Machine;
        if (userScope) {
            step = AttemptRegister(kUserScope, failure);
            outcome.scope = RegistrationScope::User;
        }
        outcome.failedStep = step;
        outcome.succeeded = step < 0;
        if (!outcome.succeeded) outcome.scope = RegistrationScope::None;
    } else {
        // The user's keys first: under Wine both views share the user's
        // CLSID, so this view's user class key must be gone before the
        // machine's handler key asks whether the other view needs it.
        Unregister(kUserScope);
        Unregister(kMachineScope);
        int32_t machineStep = LeftBehind(kMachineScope);
        int32_t userStep = LeftBehind(kUserScope);
        outcome.failedStep = machineStep >= 0 ? machineStep : userStep;
        outcome.succeeded = outcome.failedStep < 0;
    }
    if (outcome.succeeded) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return outcome;
}

RegistrationScope RegisteredScope() {
    if (HoldsClassKey(kUserScope) && HandlerKeysHeld(kUserScope) == kHandlerParentCount) return RegistrationScope::User;
    if (HoldsClassKey(kMachineScope) && HandlerKeysHeld(kMachineScope) == kHandlerParentCount) {
        return RegistrationScope::Machine;
    }
    return RegistrationScope::None;
}

bool IsRegistered() { return RegisteredScope() != RegistrationScope::None; }
