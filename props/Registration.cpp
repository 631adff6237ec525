#include "props/Registration.h"

#include <cstring>

#include "toolkit/Paths.h"

const char kLibraryFileName[] = "Zentrik.dll";
const char kHandlerKeyName[] = "ZentrikMenu";
const char kHandlersKeyPath[] = "*\\shellex\\ContextMenuHandlers";

namespace {

const char kClassRootPath[] = "CLSID";
const char kServerKeyName[] = "InprocServer32";
const char kThreadingModelName[] = "ThreadingModel";
const char kApartment[] = "Apartment";

RegistryCalls g_calls = PlatformRegistryCalls();

// Throws the step's SSEXP unless the call succeeded.
void Check(LSTATUS result, RegistrationStep step) {
    if (result != ERROR_SUCCESS) throw SSEXP(0, step);
}

LSTATUS OpenForCreate(HKEY parent, const char* path, HKEY* key) {
    return g_calls.openKey(parent, path, 0, KEY_CREATE_SUB_KEY, key);
}

LSTATUS CreateKey(HKEY parent, const char* name, HKEY* key) {
    return g_calls.createKey(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr);
}

// REG_SZ with its terminating zero: data length is the text length plus 1.
LSTATUS SetText(HKEY key, const char* name, const char* text) {
    return g_calls.setValue(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(std::strlen(text) + 1));
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

// The keys one register or unregister attempt holds, null until acquired.
struct HeldKeys {
    HKEY classRoot = nullptr;  // CLSID
    HKEY classKey = nullptr;   // CLSID\{class id}
    HKEY serverKey = nullptr;  // ...\InprocServer32
    HKEY handlers = nullptr;   // *\shellex\ContextMenuHandlers
    HKEY handler = nullptr;    // ...\ZentrikMenu
};

// Undoes a failed attempt by the code of its failed step. Each code does its
// own actions and then those of the codes it falls through to.
void RollBack(int32_t code, HeldKeys& keys) {
    switch (code) {
        case kStepSetHandlerClass:
            Close(keys.handler);
            g_calls.deleteKey(keys.handlers, kHandlerKeyName);
            [[fallthrough]];
        case kStepCreateHandlerKey:
            Close(keys.handlers);
            [[fallthrough]];
        case kStepSetServerPath:
        case kStepSetThreadingModel:
        case kStepOpenHandlers:
            Close(keys.serverKey);
            [[fallthrough]];
        case kStepSetClassName:
        case kStepCreateServerKey:
            Close(keys.classKey);
            DeleteClassKey(keys.classRoot);
            Close(keys.classRoot);
            break;
        case kStepCreateClassKey:
        case kStepUnregOpenHandlers:
            Close(keys.classRoot);
            break;
        default:  // 0, 9 and anything else: nothing is held
            break;
    }
}

void Register(HeldKeys& keys) {
    FixedText libraryPath;
    CombinePath(libraryPath, ProgramDirectory().Text(), kLibraryFileName);

    Check(OpenForCreate(HKEY_CLASSES_ROOT, kClassRootPath, &keys.classRoot), kStepOpenClassRoot);
    Check(CreateKey(keys.classRoot, kClassIdText, &keys.classKey), kStepCreateClassKey);
    Check(SetText(keys.classKey, nullptr, kLibraryFileName), kStepSetClassName);
    Check(CreateKey(keys.classKey, kServerKeyName, &keys.serverKey), kStepCreateServerKey);
    Check(SetText(keys.serverKey, nullptr, libraryPath.Text()), kStepSetServerPath);
    Check(SetText(keys.serverKey, kThreadingModelName, kApartment), kStepSetThreadingModel);
    Check(OpenForCreate(HKEY_CLASSES_ROOT, kHandlersKeyPath, &keys.handlers), kStepOpenHandlers);
    Check(CreateKey(keys.handlers, kHandlerKeyName, &keys.handler), kStepCreateHandlerKey);
    Check(SetText(keys.handler, nullptr, kClassIdText), kStepSetHandlerClass);

    Close(keys.handler);
    Close(keys.handlers);
    Close(keys.serverKey);
    Close(keys.classKey);
    Close(keys.classRoot);
}

void Unregister(HeldKeys& keys) {
    Check(OpenForCreate(HKEY_CLASSES_ROOT, kClassRootPath, &keys.classRoot), kStepUnregOpenClassRoot);
    Check(OpenForCreate(HKEY_CLASSES_ROOT, kHandlersKeyPath, &keys.handlers), kStepUnregOpenHandlers);
    DeleteClassKey(keys.classRoot);
    g_calls.deleteKey(keys.handlers, kHandlerKeyName);
    Close(keys.handlers);
    Close(keys.classRoot);
}

}  // namespace

RegistryCalls PlatformRegistryCalls() {
    return RegistryCalls{RegOpenKeyExA, RegCreateKeyExA, RegSetValueExA, RegDeleteKeyA, RegCloseKey};
}

RegistryCalls SetRegistryCalls(const RegistryCalls& calls) {
    RegistryCalls previous = g_calls;
    g_calls = calls;
    return previous;
}

void SetRegistration(int flag) {
    HeldKeys keys;
    try {
        if (flag != 0) {
            Register(keys);
        } else {
            Unregister(keys);
        }
    } catch (const SSEXP& thrown) {
        SSEXP caught(0, 0);
        caught.status = thrown.status;
        caught.code = thrown.code;
        caught.message.Assign(thrown.message.Text());
        RollBack(caught.code, keys);
    }
}

bool IsRegistered() {
    FixedText path(kClassRootPath);
    path.Append("\\").Append(kClassIdText);
    HKEY key = nullptr;
    if (g_calls.openKey(HKEY_CLASSES_ROOT, path.Text(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    g_calls.closeKey(key);
    return true;
}
