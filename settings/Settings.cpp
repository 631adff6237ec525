#include "settings/Settings.h"

#include <windows.h>

#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"
#include "toolkit/Win32Handles.h"

const char kSettingsFileName[] = "Zentrik.ini";
const char kProductWord[] = "Zentrik";

Settings theSettings;

Settings::Settings() : MenuName(menuNameStore, kMenuNameBytes, kProductWord) {}

void Settings::SetMenuName(const char* name) { MenuName.AssignLeft(name, Utf8PrefixBytes(name, kMenuNameCapacity)); }

namespace {

const wchar_t kSharedSection[] = L"options";
const wchar_t kMenuNameKey[] = L"MenuName";
const wchar_t kDefaultOrderKey[] = L"DefaultOrder";

// The flags in the order they are read and written, with their fixed
// defaults (the defaults of the shared read).
struct FlagKey {
    const wchar_t* name;
    int32_t Settings::*field;
    int32_t fixedDefault;
};
const FlagKey kFlags[] = {
    {L"GradientMenuBar", &Settings::GradientMenuBar, 1},
    {L"LargeIcon", &Settings::LargeIcon, 0},
    {L"ButtonIcon", &Settings::ButtonIcon, 1},
    {L"LinkOverlay", &Settings::LinkOverlay, 1},
    {L"UseMenuName", &Settings::UseMenuName, 0},
    {L"HideEmpty", &Settings::HideEmpty, 1},
};

// A UTF-16 text over its own array of `N` units and the terminator.
template <int32_t N>
class WideArray : public WideOver {
public:
    WideArray() : WideOver(store_, N) {}
    const wchar_t* W() const { return AsWide(Text()); }

private:
    char16_t store_[N + 1];
};

// A path of up to 777 UTF-8 bytes is at most 777 units; the platform takes
// fewer, and a longer one fails there like any path it cannot open.
using WidePath = WideArray<3 * kFixedTextCapacity>;
// "options." and a user name of up to 260 UTF-8 bytes.
using SectionName = WideArray<kFixedTextCapacity + 16>;

// Makes the profile service drop what it has cached of `file`.
void FlushProfile(const wchar_t* file) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, file); }

int32_t ReadInt(const wchar_t* section, const wchar_t* key, int32_t fallback, const wchar_t* file) {
    return static_cast<int32_t>(GetPrivateProfileIntW(section, key, fallback, file));
}

// A name of 260 units or more reads as empty, not as a cut one; a shorter
// one is cut to the menu name's 63 characters.
void ReadMenuName(Settings& settings, const wchar_t* section, const wchar_t* file) {
    WideArray<2 * kMenuNameCapacity> fallback;
    AppendUtf16(fallback, settings.MenuName.Text());
    wchar_t value[kFixedTextCapacity + 1];
    DWORD count = GetPrivateProfileStringW(section, kMenuNameKey, fallback.W(), value, kFixedTextCapacity + 1, file);
    if (count == 0 || count >= static_cast<DWORD>(kFixedTextCapacity)) {
        settings.SetMenuName("");
        return;
    }
    char utf8[3 * kFixedTextCapacity + 1];
    TextOver name(utf8, 3 * kFixedTextCapacity);
    AssignUtf8(name, AsUtf16(value), static_cast<int32_t>(count));
    settings.SetMenuName(name.Text());
}

void ReadSection(Settings& settings, const wchar_t* section, SettingsScope scope, bool userSection,
                 const wchar_t* file) {
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
    if (!userSection) settings.SetMenuName(kProductWord);
    ReadMenuName(settings, section, file);
}

// "options" or "options.<user>". False when the user's name does not fit:
// a cut name would be another user's section.
bool BuildSection(SectionName& section, const char* user) {
    section.Clear().Append(AsUtf16(kSharedSection));
    if (user[0] == 0) return true;
    section.AppendAscii(".");
    return AppendUtf16(section, user);
}

const char kUnicodeMark[2] = {'\xFF', '\xFE'};  // UTF-16LE byte-order mark
// A settings file larger than this is no file of ours; it is left as it is.
const DWORD kLargestConvertedFile = 1 << 20;

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// Writes the UTF-16LE mark and `count` units of `text` to a new file `path`.
bool WriteUnicodeFile(const wchar_t* path, const wchar_t* text, int count) {
    FileHandle out(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) return false;
    return WriteAll(out.Get(), kUnicodeMark, sizeof kUnicodeMark) &&
           WriteAll(out.Get(), text, static_cast<DWORD>(count) * sizeof(wchar_t));
}

// Makes `path` a profile file the service keeps in UTF-16: a missing file is
// created holding the byte-order mark only; a file in the ANSI code page (no
// mark) is rewritten in UTF-16 with the code page the service reads it with,
// through a file beside it that then takes its place, so a reader sees the
// old file or the new one, never half of one. A file that already starts
// with a UTF-16 mark (either byte order) is left alone. When the rewrite
// fails, the file stays as it was and the writes that follow store what the
// code page holds, as they always did.
void MakeUnicodeFile(const wchar_t* path) {
    FileHandle in(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!in.Valid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return;
        FileHandle created(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (created.Valid()) WriteAll(created.Get(), kUnicodeMark, sizeof kUnicodeMark);
        return;
    }
    // A file that starts with a byte-order mark is converted already (every
    // write after the first finds it so): nothing more is read.
    unsigned char mark[2];
    DWORD got = 0;
    if (!ReadFile(in.Get(), mark, sizeof mark, &got, nullptr)) return;
    if (got == 2 && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF))) return;
    LARGE_INTEGER size;
    const LARGE_INTEGER start = {};
    if (!SetFilePointerEx(in.Get(), start, nullptr, FILE_BEGIN)) return;
    if (!GetFileSizeEx(in.Get(), &size) || size.QuadPart > kLargestConvertedFile) return;
    DWORD length = static_cast<DWORD>(size.QuadPart);
    HeapText ansi;
    if (ansi.Reserve(static_cast<int32_t>(length) + 1).Capacity() != static_cast<int32_t>(length)) return;
    if (!ReadFile(in.Get(), ansi.storage, length, &got, nullptr) || got != length) return;
    in.Reset();

    HeapWide wide;
    int units = 0;
    if (length > 0) {
        units = MultiByteToWideChar(CP_ACP, 0, ansi.storage, static_cast<int>(length), nullptr, 0);
        if (units <= 0 || !wide.Reserve(units + 1)) return;
        MultiByteToWideChar(CP_ACP, 0, ansi.storage, static_cast<int>(length), AsWide(wide.storage), units);
    }
    WidePath beside;
    beside.Append(AsUtf16(path)).AppendAscii(".new");
    if (beside.Length() != WideLength(AsUtf16(path)) + 4) return;  // no room for the name
    if (!WriteUnicodeFile(beside.W(), AsWide(wide.storage), units) ||
        !MoveFileExW(beside.W(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(beside.W());
    }
}

// Fills `settings` with the values of a missing file.
void ReadNoFile(Settings& settings, SettingsScope scope) {
    for (const FlagKey& flag : kFlags) settings.*flag.field = flag.fixedDefault;
    if (scope == SettingsScope::Library) settings.DefaultOrder = kDefaultOrder;
    settings.SetMenuName(kProductWord);
}

}  // namespace

void ReadSettingsFor(Settings& settings, const char* file, SettingsScope scope, const char* user) {
    WidePath path;
    if (file[0] == 0 || !AppendUtf16(path, file)) {
        ReadNoFile(settings, scope);
        return;
    }
    FlushProfile(path.W());
    ReadSection(settings, kSharedSection, scope, false, path.W());
    if (user[0] == 0) return;
    SectionName section;
    if (!BuildSection(section, user)) return;
    ReadSection(settings, section.W(), scope, true, path.W());
}

void WriteSettingsFor(const Settings& settings, const char* file, const char* user) {
    WidePath path;
    SectionName section;
    if (file[0] == 0 || !AppendUtf16(path, file) || !BuildSection(section, user)) return;
    WideArray<kMenuNameBytes> name;
    AppendUtf16(name, settings.MenuName.Text());

    FlushProfile(path.W());
    MakeUnicodeFile(path.W());
    FlushProfile(path.W());
    for (const FlagKey& flag : kFlags) {
        WritePrivateProfileStringW(section.W(), flag.name, settings.*flag.field != 0 ? L"1" : L"0", path.W());
    }
    WritePrivateProfileStringW(section.W(), kMenuNameKey, name.W(), path.W());
    FlushProfile(path.W());
}

void CopySettings(Settings& to, const Settings& from) {
    for (const FlagKey& flag : kFlags) to.*flag.field = from.*flag.field;
    to.DefaultOrder = from.DefaultOrder;
    to.SetMenuName(from.MenuName.Text());
}

void ReadSettings(const char* file, SettingsScope scope) {
    ReadSettingsFor(theSettings, file, scope, CurrentUserName().Text());
}

void WriteSettings() {
    if (ProgramDirectory().Empty()) return;
    FixedText file;
    CombinePath(file, ProgramDirectory().Text(), kSettingsFileName);
    WriteSettingsFor(theSettings, file.Text(), CurrentUserName().Text());
}
