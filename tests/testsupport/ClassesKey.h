// A key under HKEY_CLASSES_ROOT made for one test and removed afterwards.
//
// A fresh Wine prefix registers .lnk (lnkfile, IsShortcut) but no .pif
// type; tests that need one, or a type registered in an unusual way, create
// it here. Only keys this object created are deleted again; a key that
// already existed is left as it was (values it set there are not undone).
#pragma once

#include <windows.h>

#include <string>

class ClassesKey {
public:
    // Creates or opens HKCR\<subkey>. Check Valid().
    explicit ClassesKey(const std::string& subkey);
    ~ClassesKey();
    ClassesKey(const ClassesKey&) = delete;
    ClassesKey& operator=(const ClassesKey&) = delete;

    bool Valid() const { return key != nullptr; }
    bool Created() const { return created; }
    // Sets a REG_SZ value; an empty name is the default value.
    bool SetString(const std::string& name, const std::string& value);
    // Sets a value of any type from raw bytes.
    bool SetRaw(const std::string& name, DWORD type, const std::string& bytes);

private:
    std::string subkey;
    HKEY key = nullptr;
    bool created = false;
};
