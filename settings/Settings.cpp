#include "settings/Settings.h"

#include <windows.h>

#include "toolkit/Paths.h"

const char kSettingsFileName[] = "Zentrik.ini";
const char kProductWord[] = "Zentrik";

Settings theSettings;

Settings::Settings() : MenuName(menuNameStore, kMenuNameCapacity, kProductWord) {}

namespace {

const char kSharedSection[] = "options";
const char kMenuNameKey[] = "MenuName";
const char kDefaultOrderKey[] = "DefaultOrder";

// The flags in the order they are read and written, with their fixed
// defaults (the defaults of the shared read).
struct FlagKey {
    const char* name;
    int32_t Settings::*field;
    int32_t fixedDefault;
};
const FlagKey kFlags[] = {
    {"GradientMenuBar", &Settings::GradientMenuBar, 1},
    {"LargeIcon", &Settings::LargeIcon, 0},
    {"ButtonIcon", &Settings::ButtonIcon, 1},
    {"LinkOverlay", &Settings::LinkOverlay, 1},
    {"UseMenuName", &Settings::UseMenuName, 0},
    {"HideEmpty", &Settings::HideEmpty, 1},
};

// Makes the profile service drop what it has cached of `file`.
void FlushProfile(const char* file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file); }

int32_t ReadInt(const char* section, const char* key, int32_t fallback, const char* file) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, fallback, file));
}

// A name of 260 bytes or more reads as empty, not as a cut one; a shorter
// one is cut to the menu name's 63 bytes on assignment.
void ReadMenuName(Settings& settings, const char* section, const char* file) {
    FixedText name;
    DWORD count = GetPrivateProfileStringA(section, kMenuNameKey, settings.MenuName.Text(), name.storage,
                                           kFixedTextCapacity + 1, file);
    if (count == 0 || count >= static_cast<DWORD>(kFixedTextCapacity)) {
        name.Resize(0, 0);
    } else {
        name.Recount();
    }
    settings.MenuName.Assign(name.Text());
}

void ReadSection(Settings& settings, const char* section, SettingsScope scope, bool userSection,
                 const char* file) {
    for (const FlagKey& flag : kFlags) {
        // A user section without "UseMenuName" turns the caption off, whatever
        // the shared section says; every other key falls back to the shared value.
        int32_t fallback = !userSection ? flag.fixedDefault
                           : flag.field == &Settings::UseMenuName ? 0
                                                                   : settings.*flag.field;
        settings.*flag.field = ReadInt(section, flag.name, fallback, file);
    }
    if (scope == SettingsScope::Library) {
        int32_t fallback = userSection ? settings.DefaultOrder : kDefaultOrder;
        settings.DefaultOrder = ReadInt(section, kDefaultOrderKey, fallback, file);
    }
    if (!userSection) settings.MenuName.Assign(kProductWord);
    ReadMenuName(settings, section, file);
}

// "options" or "options.<user>", cut at 260.
void BuildSection(FixedText& section, const char* user) {
    section.Assign(kSharedSection);
    if (user[0] != 0) section.Append(".").Append(user);
}

}  // namespace

void ReadSettingsFor(Settings& settings, const char* file, SettingsScope scope, const char* user) {
    FlushProfile(file);
    ReadSection(settings, kSharedSection, scope, false, file);
    if (user[0] == 0) return;
    FixedText section;
    BuildSection(section, user);
    ReadSection(settings, section.Text(), scope, true, file);
}

void WriteSettingsFor(const Settings& settings, const char* file, const char* user) {
    FixedText section;
    BuildSection(section, user);
    for (const FlagKey& flag : kFlags) {
        WritePrivateProfileStringA(section.Text(), flag.name, settings.*flag.field != 0 ? "1" : "0", file);
    }
    WritePrivateProfileStringA(section.Text(), kMenuNameKey, settings.MenuName.Text(), file);
    FlushProfile(file);
}

void CopySettings(Settings& to, const Settings& from) {
    for (const FlagKey& flag : kFlags) to.*flag.field = from.*flag.field;
    to.DefaultOrder = from.DefaultOrder;
    to.MenuName.Assign(from.MenuName.Text());
}

void ReadSettings(const char* file, SettingsScope scope) {
    ReadSettingsFor(theSettings, file, scope, CurrentUserName().Text());
}

void WriteSettings() {
    FixedText file;
    CombinePath(file, ProgramDirectory().Text(), kSettingsFileName);
    WriteSettingsFor(theSettings, file.Text(), CurrentUserName().Text());
}
