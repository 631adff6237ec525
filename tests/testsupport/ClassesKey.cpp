#include "tests/testsupport/ClassesKey.h"

ClassesKey::ClassesKey(const std::string& name) : subkey(name) {
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        key = nullptr;
        return;
    }
    created = disposition == REG_CREATED_NEW_KEY;
}

ClassesKey::~ClassesKey() {
    if (key == nullptr) return;
    RegCloseKey(key);
    if (created) RegDeleteKeyA(HKEY_CLASSES_ROOT, subkey.c_str());
}

bool ClassesKey::SetString(const std::string& name, const std::string& value) {
    return Valid() && RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool ClassesKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
    return Valid() && RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                     reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}
