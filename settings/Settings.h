// The display options both deliverables share through "Zentrik.ini".
//
// The file has a section "options" for all users and a section
// "options.<user>" per user; a user's section overrides the shared one key by
// key. The settings program writes only its user's section; the extension
// library only reads.
//
// Texts are UTF-8 here and UTF-16 in the profile calls (the W forms). The
// profile service keeps a file that starts with the UTF-16LE byte-order mark
// in UTF-16 and any other file in the ANSI code page, where a character the
// code page lacks is stored as '?'. So the settings program writes the file
// in UTF-16 always: it creates it with the mark and turns any other file
// into UTF-16 before its first write. A file an editor saved in UTF-8 (with
// the UTF-8 mark, or without it and holding valid UTF-8 beyond ASCII) is
// read and converted as UTF-8, every character kept; only a file whose
// bytes are not valid UTF-8 is read in the ANSI code page, as the service
// reads it. Reading never changes the file, and an ANSI file reads exactly
// as before.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// The longest text, in UTF-16 units, that the settings file and the settings
// dialog hand over, before the menu name is cut to its characters: the path
// limit. A menu name of that many units or more in the file reads as empty.
constexpr int32_t kSettingsTextUnits = kPathUnitLimit;
constexpr int32_t kMenuNameCapacity = 63;  // characters, not bytes
constexpr int32_t kMenuNameBytes = 4 * kMenuNameCapacity;  // UTF-8: at most 4 bytes each
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
    TextOver MenuName;            // custom caption in UTF-8, at most 63 characters (over menuNameStore)

    Settings();
    // Sets MenuName to the first 63 characters of the UTF-8 `name` (all of
    // it when shorter); a character is never split.
    void SetMenuName(const char* name);
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

private:
    char menuNameStore[kMenuNameBytes + 1];
};

// The deliverable's record, set to the defaults during static initialisation.
extern Settings theSettings;

// Which keys a deliverable reads: the extension library also reads
// "DefaultOrder"; the settings program neither reads nor writes it.
enum class SettingsScope { Program, Library };

// Fills theSettings from `file` (a UTF-8 path) for the current user
// (CurrentUserName). Flushes the profile service's cache first, so a write
// made by another process is seen. An empty path reads as a missing file.
void ReadSettings(const char* file, SettingsScope scope);

// Writes theSettings to "Zentrik.ini" beside the program, in the current
// user's section (the shared section when there is no user name), then
// flushes. Reports nothing; writes nothing when the program's directory is
// not known.
void WriteSettings();

// The same two for a given record, file and user name (UTF-8); an empty user
// means the shared section only. The write makes the file UTF-16 first (see
// above); an empty path, or a user name too long for a section name, writes
// nothing.
void ReadSettingsFor(Settings& settings, const char* file, SettingsScope scope, const char* user);

// Makes `to` hold the same values as `from` (its MenuName in its own store).
void CopySettings(Settings& to, const Settings& from);
void WriteSettingsFor(const Settings& settings, const char* file, const char* user);
