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

// A path of a FixedText fits a FixedWide whole; the platform takes fewer
// units, and a longer path fails there like any path it cannot open.
using WidePath = FixedWide<>;
// "options." and a user name of up to a settings text's units.
using SectionName = FixedWide<kSettingsTextUnits + 16>;
// The menu name's characters take at most two units each.
using WideMenuName = FixedWide<2 * kMenuNameCapacity>;

// Makes the profile service drop what it has cached of `file`.
void FlushProfile(const wchar_t* file) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, file); }

int32_t ReadInt(const wchar_t* section, const wchar_t* key, int32_t fallback, const wchar_t* file) {
    return static_cast<int32_t>(GetPrivateProfileIntW(section, key, fallback, file));
}

// A name of 260 units or more reads as empty, not as a cut one; a shorter
// one is cut to the menu name's 63 characters.
void ReadMenuName(Settings& settings, const wchar_t* section, const wchar_t* file) {
    WideMenuName fallback;
    AppendUtf16(fallback, settings.MenuName.Text());
    wchar_t value[kSettingsTextUnits + 1];
    DWORD count = GetPrivateProfileStringW(section, kMenuNameKey, AsWide(fallback), value, kSettingsTextUnits + 1, file);
    if (count == 0 || count >= static_cast<DWORD>(kSettingsTextUnits)) {
        settings.SetMenuName("");
        return;
    }
    // Fewer units than the path limit: a FixedText holds their UTF-8 whole.
    FixedText name;
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

// How a settings file's bytes are text.
enum class FileEncoding {
    Missing,   // no such file
    Unicode,   // starts with a UTF-16 byte-order mark: the service reads it as it is
    Utf8,      // the UTF-8 mark, or no mark and valid UTF-8 with a byte above 0x7F
    Ansi,      // anything else: the ANSI code page, as the service reads it
    Unusable,  // cannot be opened or read, or larger than kLargestConvertedFile
};

// `length` bytes as UTF-16 through `codePage` (strictly for UTF-8: false
// when a byte sequence is not valid). An empty text is valid.
bool Decode(UINT codePage, const char* bytes, DWORD length, HeapWide& wide) {
    DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    if (length == 0) return wide.Reserve(1);
    int units = MultiByteToWideChar(codePage, flags, bytes, static_cast<int>(length), nullptr, 0);
    if (units <= 0 || !wide.Reserve(units + 1)) return false;
    if (MultiByteToWideChar(codePage, flags, bytes, static_cast<int>(length), AsWide(wide.storage), units) != units) {
        return false;
    }
    wide.length = units;
    wide.storage[units] = 0;
    return true;
}

// Reads the file `path` and tells its encoding; for Utf8 and Ansi `wide`
// receives the whole text in UTF-16 (without the UTF-8 mark). UTF-8 is
// tried first: a file in the ANSI code page with a byte above 0x7F is
// almost never valid UTF-8, so only such a file is read as ANSI.
FileEncoding ReadFileText(const wchar_t* path, HeapWide& wide) {
    FileHandle in(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!in.Valid()) return GetLastError() == ERROR_FILE_NOT_FOUND ? FileEncoding::Missing : FileEncoding::Unusable;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(in.Get(), &size) || size.QuadPart > kLargestConvertedFile) return FileEncoding::Unusable;
    DWORD length = static_cast<DWORD>(size.QuadPart);
    // A UTF-16 file, which every write leaves, is told by its first two
    // bytes: nothing more is read.
    unsigned char mark[2];
    DWORD got = 0;
    if (!ReadFile(in.Get(), mark, sizeof mark, &got, nullptr)) return FileEncoding::Unusable;
    if (got == 2 && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF))) {
        return FileEncoding::Unicode;
    }
    const LARGE_INTEGER start = {};
    if (!SetFilePointerEx(in.Get(), start, nullptr, FILE_BEGIN)) return FileEncoding::Unusable;
    HeapText bytes;
    if (bytes.Reserve(static_cast<int32_t>(length) + 1).Capacity() != static_cast<int32_t>(length)) {
        return FileEncoding::Unusable;
    }
    if (!ReadFile(in.Get(), bytes.storage, length, &got, nullptr) || got != length) return FileEncoding::Unusable;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.storage);
    bool marked = length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
    const char* text = bytes.storage + (marked ? 3 : 0);
    DWORD textLength = length - (marked ? 3 : 0);
    bool high = false;
    for (DWORD i = 0; i < textLength && !high; ++i) high = static_cast<unsigned char>(text[i]) >= 0x80;
    if ((marked || high) && Decode(CP_UTF8, text, textLength, wide)) return FileEncoding::Utf8;
    return Decode(CP_ACP, text, textLength, wide) ? FileEncoding::Ansi : FileEncoding::Unusable;
}

// Makes `path` a profile file the service keeps in UTF-16: a missing file is
// created holding the byte-order mark only; a file in UTF-8 or the ANSI
// code page (see ReadFileText) is rewritten in UTF-16 with every character
// it holds, through a file beside it that then takes its place, so a reader
// sees the old file or the new one, never half of one. A file that already
// starts with a UTF-16 mark (either byte order) is left alone. When the
// rewrite fails, the file stays as it was and the writes that follow store
// what the code page holds, as they always did.
void MakeUnicodeFile(const wchar_t* path) {
    HeapWide wide;
    switch (ReadFileText(path, wide)) {
        case FileEncoding::Missing: {
            FileHandle created(
                CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (created.Valid()) WriteAll(created.Get(), kUnicodeMark, sizeof kUnicodeMark);
            return;
        }
        case FileEncoding::Utf8:
        case FileEncoding::Ansi:
            break;
        default:
            return;
    }
    WidePath beside;
    beside.Append(AsUtf16(path)).AppendAscii(".new");
    if (beside.Length() != WideLength(AsUtf16(path)) + 4) return;  // no room for the name
    if (!WriteUnicodeFile(AsWide(beside), AsWide(wide.storage), wide.length) ||
        !MoveFileExW(AsWide(beside), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(AsWide(beside));
    }
}

// The file the profile service is to read for `path`: `path` itself, or,
// for a UTF-8 file (which the service reads in the ANSI code page, or, with
// the mark, not on every system), a UTF-16 copy in the temporary folder,
// deleted again with this object. The settings file itself is never
// changed by reading.
class ReadableCopy {
public:
    explicit ReadableCopy(const wchar_t* path) : path_(path) {
        HeapWide wide;
        if (ReadFileText(path, wide) != FileEncoding::Utf8) return;
        wchar_t folder[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, folder);
        if (n == 0 || n > MAX_PATH || GetTempFileNameW(folder, L"zki", 0, copy_) == 0) return;
        if (!WriteUnicodeFile(copy_, AsWide(wide.storage), wide.length)) {
            DeleteFileW(copy_);
            return;
        }
        path_ = copy_;
    }
    ~ReadableCopy() {
        if (path_ == copy_) {
            FlushProfile(copy_);
            DeleteFileW(copy_);
        }
    }
    ReadableCopy(const ReadableCopy&) = delete;
    ReadableCopy& operator=(const ReadableCopy&) = delete;
    const wchar_t* Path() const { return path_; }

private:
    const wchar_t* path_;       // what to read
    wchar_t copy_[MAX_PATH];    // the copy's name, when there is one
};

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
    FlushProfile(AsWide(path));
    ReadableCopy readable(AsWide(path));
    ReadSection(settings, kSharedSection, scope, false, readable.Path());
    if (user[0] == 0) return;
    SectionName section;
    if (!BuildSection(section, user)) return;
    ReadSection(settings, AsWide(section), scope, true, readable.Path());
}

void WriteSettingsFor(const Settings& settings, const char* file, const char* user) {
    WidePath path;
    SectionName section;
    if (file[0] == 0 || !AppendUtf16(path, file) || !BuildSection(section, user)) return;
    WideMenuName name;
    AppendUtf16(name, settings.MenuName.Text());

    FlushProfile(AsWide(path));
    MakeUnicodeFile(AsWide(path));
    FlushProfile(AsWide(path));
    for (const FlagKey& flag : kFlags) {
        WritePrivateProfileStringW(AsWide(section), flag.name, settings.*flag.field != 0 ? L"1" : L"0", AsWide(path));
    }
    WritePrivateProfileStringW(AsWide(section), kMenuNameKey, AsWide(name), AsWide(path));
    FlushProfile(AsWide(path));
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
