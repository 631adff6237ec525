#include "tests/props/RegistryState.h"

#include <vector>

#include <sddl.h>

#include "props/Registration.h"

namespace {

// The machine's classes are read through HKEY_CLASSES_ROOT, which under
// Wine 8 is HKEY_LOCAL_MACHINE\Software\Classes itself (no merged view; the
// views of both match, measured with reg /reg:32 and /reg:64).
HKEY Root(RegistrationScope scope) { return scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT; }
std::string Prefix(RegistrationScope scope) { return scope == RegistrationScope::User ? "Software\\Classes\\" : ""; }
std::string ClassKeyPath(RegistrationScope scope) { return Prefix(scope) + "CLSID\\" + kClassIdText; }
std::string ServerKeyPath(RegistrationScope scope) { return ClassKeyPath(scope) + "\\InprocServer32"; }
std::string HandlerKeyPath(RegistrationScope scope, int parent) {
    return Prefix(scope) + kHandlersKeyPaths[parent] + "\\" + kHandlerKeyName;
}

class Key {
public:
    Key(RegistrationScope scope, const std::string& path, REGSAM access) {
        if (RegOpenKeyExA(Root(scope), path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

StoredValue ReadValue(HKEY key, const char* name) {
    StoredValue value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
    std::vector<char> bytes(size + 1);
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
        ERROR_SUCCESS) {
        return value;
    }
    value.present = true;
    value.data.assign(bytes.data(), size);
    return value;
}

void Counts(HKEY key, DWORD* subkeys, DWORD* values) {
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values, nullptr, nullptr, nullptr,
                     nullptr);
}

void WriteValue(HKEY key, const char* name, const StoredValue& value) {
    if (!value.present) return;
    RegSetValueExA(key, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
}

HKEY CreateKey(RegistrationScope scope, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(Root(scope), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

DWORD APIENTRY ReadClosedSecurity(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                  PSECURITY_DESCRIPTOR* descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
                                                              SDDL_REVISION_1, descriptor, nullptr)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}
DWORD WINAPI ReadPlainAttributes(LPCWSTR) { return FILE_ATTRIBUTE_DIRECTORY; }
UINT WINAPI ReadFixedDrive(LPCWSTR) { return DRIVE_FIXED; }

}  // namespace

TrustReaders ClosedTrustReaders() { return TrustReaders{ReadClosedSecurity, ReadPlainAttributes, ReadFixedDrive}; }

bool SameValue(const StoredValue& a, const StoredValue& b) {
    return a.present == b.present && (!a.present || (a.type == b.type && a.data == b.data));
}

REGSAM OwnView() { return sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
REGSAM OtherView() { return sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

StoredValue TextValue(const std::string& text) {
    StoredValue value;
    value.present = true;
    value.type = REG_SZ;
    value.data = text;
    value.data.push_back('\0');
    return value;
}

bool RegistrationEntries::operator==(const RegistrationEntries& o) const {
    bool same = classKey == o.classKey && SameValue(className, o.className) && serverKey == o.serverKey &&
                SameValue(serverPath, o.serverPath) && SameValue(threadingModel, o.threadingModel) &&
                handlerKeys == o.handlerKeys && classSubkeys == o.classSubkeys && classValues == o.classValues &&
                serverSubkeys == o.serverSubkeys && serverValues == o.serverValues;
    for (int i = 0; i < kHandlerParentCount; ++i) {
        same = same && SameValue(handlerClasses[i], o.handlerClasses[i]) && handlerValues[i] == o.handlerValues[i];
    }
    return same;
}

RegistrationEntries ReadRegistration(REGSAM view, RegistrationScope scope) {
    RegistrationEntries entries;
    if (Key key(scope, ClassKeyPath(scope), KEY_READ | view); key) {
        entries.classKey = true;
        entries.className = ReadValue(key.get(), nullptr);
        Counts(key.get(), &entries.classSubkeys, &entries.classValues);
    }
    if (Key key(scope, ServerKeyPath(scope), KEY_READ | view); key) {
        entries.serverKey = true;
        entries.serverPath = ReadValue(key.get(), nullptr);
        entries.threadingModel = ReadValue(key.get(), "ThreadingModel");
        Counts(key.get(), &entries.serverSubkeys, &entries.serverValues);
    }
    // The handler key is shared by both views and is read without a view
    // flag: Wine 8 answers ERROR_FILE_NOT_FOUND when a 64-bit process opens
    // HKEY_CLASSES_ROOT\*\... with KEY_WOW64_32KEY, although a 32-bit
    // process sees the very key (measured).
    for (int i = 0; i < kHandlerParentCount; ++i) {
        if (Key key(scope, HandlerKeyPath(scope, i), KEY_READ); key) {
            ++entries.handlerKeys;
            entries.handlerClasses[i] = ReadValue(key.get(), nullptr);
            DWORD subkeys = 0;
            Counts(key.get(), &subkeys, &entries.handlerValues[i]);
        }
    }
    entries.handlerKey = entries.handlerKeys > 0;
    entries.handlerClass = entries.handlerClasses[0];
    return entries;
}

void EraseRegistration(REGSAM view, RegistrationScope scope) {
    RegDeleteKeyExA(Root(scope), ServerKeyPath(scope).c_str(), view, 0);
    RegDeleteKeyExA(Root(scope), ClassKeyPath(scope).c_str(), view, 0);
    for (int i = 0; i < kHandlerParentCount; ++i) {
        RegDeleteKeyA(Root(scope), HandlerKeyPath(scope, i).c_str());  // shared: no view flag
    }
}

void RestoreRegistration(REGSAM view, const RegistrationEntries& saved, RegistrationScope scope) {
    EraseRegistration(view, scope);
    if (saved.classKey) {
        if (HKEY key = CreateKey(scope, ClassKeyPath(scope), view)) {
            WriteValue(key, nullptr, saved.className);
            RegCloseKey(key);
        }
    }
    if (saved.serverKey) {
        if (HKEY key = CreateKey(scope, ServerKeyPath(scope), view)) {
            WriteValue(key, nullptr, saved.serverPath);
            WriteValue(key, "ThreadingModel", saved.threadingModel);
            RegCloseKey(key);
        }
    }
    for (int i = 0; i < kHandlerParentCount; ++i) {
        if (!saved.handlerClasses[i].present) continue;
        if (HKEY key = CreateKey(scope, HandlerKeyPath(scope, i), 0)) {
            WriteValue(key, nullptr, saved.handlerClasses[i]);
            RegCloseKey(key);
        }
    }
}
