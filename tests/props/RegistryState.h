// Reading, saving and restoring the extension's registry entries for tests.
//
// Tests of registration run against the real registry of the Wine prefix, so
// every fixture saves what it finds before it starts and puts exactly that
// back when it ends: the class key with InprocServer32 in the process's own
// view, and the handler keys (one under each of kHandlersKeyPaths) shared by
// both views.
#pragma once

#include <windows.h>

#include <string>

#include "props/Registration.h"

// The view the running process sees through HKEY_CLASSES_ROOT: the 32-bit
// one for a 32-bit test, the 64-bit one otherwise.
REGSAM OwnView();
REGSAM OtherView();

// One REG_* value as stored.
struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::string data;  // raw bytes, terminator included when stored with one
};

// What exists of the registration in one view (the handler keys are the
// same in both).
struct RegistrationEntries {
    bool classKey = false;
    StoredValue className;       // class key's (default)
    bool serverKey = false;
    StoredValue serverPath;      // InprocServer32's (default)
    StoredValue threadingModel;  // InprocServer32's ThreadingModel
    bool handlerKey = false;     // at least one of the handler keys exists
    int handlerKeys = 0;         // how many of the kHandlerParentCount handler keys exist
    StoredValue handlerClasses[kHandlerParentCount];  // each ZentrikMenu's (default), in kHandlersKeyPaths order
    StoredValue handlerClass;    // the one of all files ("*"): handlerClasses[0]
    DWORD handlerValues[kHandlerParentCount] = {};    // values of each handler key
    DWORD classSubkeys = 0, classValues = 0, serverSubkeys = 0, serverValues = 0;

    bool operator==(const RegistrationEntries& other) const;
};

// Reads the entries of `view` (KEY_WOW64_32KEY or KEY_WOW64_64KEY) in the
// machine's classes or the current user's (Wine 8 keeps one view of the
// user's CLSID for both).
RegistrationEntries ReadRegistration(REGSAM view, RegistrationScope scope = RegistrationScope::Machine);

// Removes the entries from `view` (InprocServer32 first) and the shared
// handler keys.
void EraseRegistration(REGSAM view, RegistrationScope scope = RegistrationScope::Machine);

// Erases and then writes back exactly `saved` (the four values it lists).
void RestoreRegistration(REGSAM view, const RegistrationEntries& saved,
                         RegistrationScope scope = RegistrationScope::Machine);

// Readers that answer for every path as for a local folder that only
// administrators may change (under Wine no folder reads so), so that
// registering goes machine-wide.
TrustReaders ClosedTrustReaders();

// A REG_SZ value as its text with the terminator, as the product stores it.
StoredValue TextValue(const std::string& text);
// Same presence, type and bytes.
bool SameValue(const StoredValue& a, const StoredValue& b);
// REG_SZ holding exactly `text` and its terminator (data length = length + 1).
inline bool SameText(const StoredValue& value, const std::string& text) { return SameValue(value, TextValue(text)); }

// Keeps the registration of both views and the current user's as it was
// when constructed and puts it back when destroyed.
class SavedRegistration {
public:
    SavedRegistration()
        : own_(ReadRegistration(OwnView())),
          other_(ReadRegistration(OtherView())),
          user_(ReadRegistration(OwnView(), RegistrationScope::User)) {}
    ~SavedRegistration() {
        RestoreRegistration(OwnView(), user_, RegistrationScope::User);
        RestoreRegistration(OtherView(), other_);
        RestoreRegistration(OwnView(), own_);
    }
    SavedRegistration(const SavedRegistration&) = delete;
    SavedRegistration& operator=(const SavedRegistration&) = delete;

private:
    RegistrationEntries own_;
    RegistrationEntries other_;
    RegistrationEntries user_;
};
