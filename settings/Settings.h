// The display options both deliverables share through "Zentrik.ini".
//
// The file has a section "options" for all users and a section
// "options.<user>" per user; a user's section overrides the shared one key by
// key. The settings program writes only its user's section; the extension
// library only reads.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

constexpr int32_t kMenuNameCapacity = 63;
constexpr int32_t kDefaultOrder = 10000;
extern const char kSettingsFileName[];  // "Zentrik.ini"
extern const char kProductWord[];       // "Zentrik": caption and default menu name

// One process-wide record per deliverable. A flag is on when it is not 0.
// Defaults hold until something is read, and for every key the file lacks.
struct Settings {
    int32_t GradientMenuBar = 1;  // gradient behind the selected item
    int32_t LargeIcon = 0;        // system-size icons instead of small ones
    int32_t ButtonIcon = 1;       // selected item's icon framed as a raised button
    int32_t LinkOverlay = 1;      // icons with the shortcut overlay
    int32_t UseMenuName = 0;      // caption is MenuName instead of "Zentrik"
    int32_t HideEmpty = 1;        // no submenu at all when nothing matches
    int32_t DefaultOrder = kDefaultOrder;  // order of actions without a suffix; library only
    TextOver MenuName;            // custom caption, at most 63 bytes (over menuNameStore)

    Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

private:
    char menuNameStore[kMenuNameCapacity + 1];
};

// The deliverable's record, set to the defaults during static initialisation.
extern Settings theSettings;

// Which keys a deliverable reads: the extension library also reads
// "DefaultOrder"; the settings program neither reads nor writes it.
enum class SettingsScope { Program, Library };

// Fills theSettings from `file` for the current user (CurrentUserName).
// Flushes the profile service's cache first, so a write made by another
// process is seen.
void ReadSettings(const char* file, SettingsScope scope);

// Writes theSettings to "Zentrik.ini" beside the program, in the current
// user's section (the shared section when there is no user name), then
// flushes. Reports nothing.
void WriteSettings();

// The same two for a given record, file and user name; an empty user means
// the shared section only.
void ReadSettingsFor(Settings& settings, const char* file, SettingsScope scope, const char* user);

// Makes `to` hold the same values as `from` (its MenuName in its own store).
void CopySettings(Settings& to, const Settings& from);
void WriteSettingsFor(const Settings& settings, const char* file, const char* user);
