// One action: a shortcut file inside a group folder, read once when the
// catalogue is loaded (or copied from the previous load when the file has not
// changed) and not changed afterwards, except for its icon, which the first
// menu that shows the action fills in (EnsureIcon).
//
// The item keeps what the menu shows (display name without its order
// suffix, order, icon) and what starting it needs (program, arguments,
// working directory, show command). It owns its texts, each UTF-8 and
// reserved to exactly its length + 1, and its icon.
//
// A folder inside a group folder is a submenu: an item named and ordered
// like a shortcut (from the folder's name, "Convert.(5)" is "Convert" with
// order 5) that starts nothing and owns the items of that folder (actions
// and further submenus) in firstChild. A submenu is only kept with at least
// one action somewhere beneath it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "catalogue/ActionOrder.h"
#include "catalogue/CommandLine.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideText.h"

enum class LaunchResult {
    kStarted,      // the process runs
    kStartFailed,  // CreateProcessW (or the line's storage) failed: errorCode
    kNameRefused,  // a file the line's reader cannot be given whole: refusedIndex
    kTooLong,      // the line is longer than the system starts: lineLength
    kProgramRefused,  // files for a program whose reading cannot be known (wt, conhost, wsl, a stream)
    kPlaceholderRefused,  // a placeholder stands where the line's reader cannot be given a file safely
    kCancelled,    // the user declined the elevation prompt: nothing runs, and that is no error
};

struct LaunchOutcome {
    LaunchResult result;
    DWORD errorCode;       // kStartFailed: the system error code; else 0
    int32_t refusedIndex;  // kNameRefused: position of the file in the list; else -1
    int64_t lineLength;    // units of the composed line without its terminator
    int32_t lineLimit;     // most units its reader takes without the terminator (kTooLong names it)
};

struct Settings;
class ShellLinkReader;

// What starting an action needs, converted once for all its runs
// (ActionItem::PrepareLaunch).
struct LaunchPlan {
    HeapWide program;    // the program the line names: the .PIF itself, else the link target
    HeapWide arguments;  // the link's arguments, placeholders still in them
    HeapWide directory;  // working directory; empty: the caller's
    LineReader reader = LineReader::kProgram;  // who reads the line (catalogue/CommandLine.h)
};

// Starts a program elevated: ShellExecuteExW, replaceable so that the
// composed call can be checked where no elevation prompt exists.
using ElevatedStarter = BOOL(WINAPI*)(SHELLEXECUTEINFOW* info);

// What a listing says of a file: enough to tell whether it changed since it
// was read (its size and last write), or that it was missing.
struct FileStamp {
    DWORD sizeLow;        // file size, low 32 bits
    DWORD sizeHigh;       // file size, high 32 bits
    FILETIME lastWrite;   // last write time
    bool exists;          // false: no such file (the other fields are 0)
};
// The stamp of a listing entry, and of the file at `path` (missing: exists false).
FileStamp StampOf(const WIN32_FIND_DATAW& entry);
FileStamp StampOfFile(const char* path);  // UTF-8
bool SameStamp(const FileStamp& a, const FileStamp& b);

// An action's icon, filled at most once by whichever thread shows the action
// first; menus on several threads may try at the same time. The first
// handle published stays until Reset or destruction; a later one is
// destroyed by its publisher. Reading never blocks.
class SharedIcon {
public:
    SharedIcon() = default;
    ~SharedIcon() { Reset(); }
    SharedIcon(const SharedIcon&) = delete;
    SharedIcon& operator=(const SharedIcon&) = delete;

    // The published icon, or null.
    HICON Get() const;
    // Keeps `icon` when none is published yet, else destroys it; returns the
    // icon that is kept (null only when `icon` was null and none was kept).
    HICON Publish(HICON icon);
    // Destroys the kept icon and keeps `icon` (may be null) instead. Only
    // while no other thread uses the item (building or destroying it).
    void Reset(HICON icon = nullptr);

private:
    void* volatile handle = nullptr;  // the HICON; written with interlocked operations
};

class ActionItem {
public:
    ActionItem* nextItem;      // next item of the same group; null at the end
    int32_t order;             // sort key: DefaultOrder, or the display name's order suffix
    HeapText displayName;      // shell display name without the order suffix; empty = not kept
    HeapText pifPath;          // the shortcut file itself when it is a .PIF, else empty
    HeapText arguments;        // link arguments, whole, trimmed; quotes kept
    HeapText targetPath;       // link target path, trimmed and unquoted
    HeapText workingDirectory; // link working directory, trimmed and unquoted; may be empty
    HeapText sortName;         // displayName with its letters beyond ASCII in lower case; empty when the same
    int32_t showCommand;       // link show command; SW_SHOWDEFAULT when the link gives none
    SharedIcon icon;           // owned; null until a menu showing the action asks (EnsureIcon)
    HeapText shortcutPath;     // the shortcut file's full path: where the icon comes from
    FileStamp stamp;           // the shortcut file as listed when it was read (reloads compare it)
    volatile LONG iconMissing; // 1 once the shell gave no icon: not asked again
    HeapText comment;          // the link's description, trimmed; empty when it has none
    bool runAsAdministrator;   // the link's "Run as administrator" flag (SLDF_RUNAS_USER)
    ActionItem* firstChild;    // a submenu's items, linked by nextItem; null for an action

    // Reads the shortcut file at `shortcutPath` (full path) through `reader`
    // (one link object for a whole load). Never fails as a whole: what
    // cannot be read stays empty, and a link that cannot be loaded leaves
    // the display name empty, so the loader drops the item. An item without
    // an order suffix takes `defaultOrder`; the stamp is the loader's to set
    // and the icon is not read (EnsureIcon).
    ActionItem(const char* shortcutPath, ShellLinkReader& reader, int32_t defaultOrder);
    ~ActionItem();
    ActionItem(const ActionItem&) = delete;
    ActionItem& operator=(const ActionItem&) = delete;

    // Allocates (from the text heap, so allocation failure can be injected)
    // and constructs an item; null when it cannot be allocated.
    static ActionItem* Create(const char* shortcutPath, ShellLinkReader& reader, int32_t defaultOrder);
    // A copy of `from` for a new catalogue load that found its shortcut file
    // unchanged: every text, the order, show command, path and stamp; no
    // icon. Null when it cannot be allocated or a text cannot be copied whole.
    static ActionItem* CreateCopy(const ActionItem& from);
    // A submenu for the folder at `folderPath` (full path; its icon comes
    // from there) named `folderName`, without children (the loader adds
    // them at the head of firstChild). An order suffix in the name gives
    // the order, else `defaultOrder`. Null when it cannot be allocated or
    // the name cannot be kept whole.
    static ActionItem* CreateSubmenu(const char* folderPath, const char* folderName, int32_t defaultOrder);
    // Destroys and frees an item made by Create; null is ignored. A
    // submenu's children go with it.
    static void Destroy(ActionItem* item);

    // Whether the item is a submenu (it then starts nothing).
    bool IsSubmenu() const { return firstChild != nullptr; }

    // The icon a menu shows for the action: the kept one, or else the
    // shell's icon for shortcutPath, published for every menu of the item's
    // load: with the shortcut overlay (SHGFI_ICON) when LinkOverlay is on,
    // else the plain type icon from the system image list; small unless
    // LargeIcon is on. Null when the shell gives none (then not asked
    // again). Initialises COM around the shell call when the calling thread
    // has not.
    HICON EnsureIcon(const Settings& settings);
    // Destroys the icon, if any, and clears it.
    void ReleaseIcon();

    // Composes the command line into `commandLine` (see catalogue/CommandLine.h;
    // the program is pifPath when set, else targetPath; the texts converted
    // from UTF-8) and starts the process with CreateProcessW in
    // its own console, the working directory when set, and the show command;
    // does not wait for it. `files` are appended in list order, written for
    // whoever reads the line (ReaderOf the program as the platform runs it,
    // catalogue/ProgramPath.h, or of the link target of a .PIF: the command
    // interpreter, PowerShell or the program). Unless the process
    // started, the outcome says why, and `commandLine` holds the composed
    // line when there was one (empty when a file was refused, the line was
    // too long or its storage could not be had; the last is reported as a
    // failed start with ERROR_NOT_ENOUGH_MEMORY).
    LaunchOutcome LaunchAction(const WideTextNode* files, HeapWide& commandLine) const;

    // The texts in UTF-16 and the line's reader, as LaunchAction decides
    // them; false when storage cannot be had.
    bool PrepareLaunch(LaunchPlan& plan) const;
    // Composes the line for the first `fileCount` of `files` (all when
    // negative) and starts it as LaunchAction does; a link flagged to run as
    // administrator is started through `elevatedStarter` instead with the
    // "runas" verb, the program, the line behind the program as its
    // parameters, the working directory, the show command and `owner` as
    // the prompt's parent (then a declined prompt gives kCancelled).
    LaunchOutcome StartLine(const LaunchPlan& plan, const WideTextNode* files, int32_t fileCount, HeapWide& commandLine,
                            HWND owner) const;

    // True when the program is named by a full path on a local fixed or RAM
    // disk and no file is there. A path on the network (a UNC name, a
    // mapped drive), on a removable or optical drive, or without a drive is
    // never looked at: the menu that asks must not wait for a device.
    bool ProgramMissing() const;

    // The starter of elevated runs; ShellExecuteExW unless a test replaced it.
    static ElevatedStarter elevatedStarter;

    // Shortcut files read since the process started (every load), for the
    // catalogue's counters.
    static volatile LONG shortcutsRead;

private:
    // An item with the given order, show command and stamp and nothing else
    // (CreateCopy fills the texts).
    ActionItem(int32_t copiedOrder, int32_t copiedShowCommand, const FileStamp& copiedStamp);
    // Loads `path` into `reader` and reads the fields from it (see the
    // constructors); keeps the path only when the link loaded.
    void Read(const char* path, ShellLinkReader& reader);
    // Sets displayName, sortName and (from an order suffix) order from the
    // shown name `shown`.
    void TakeShownName(const char* shown);
};

// The name an item sorts by: the display name, with the letters beyond
// ASCII in lower case (toolkit/NameCase.h).
inline const char* SortNameOf(const ActionItem& item) {
    return item.sortName.Empty() ? item.displayName.Text() : item.sortName.Text();
}

// Negative when a sorts before b: smaller order first, then the display
// name without regard to case: A-Z fold to a-z (CompareActionKeys), the
// other letters to their lower case (SortNameOf).
inline int CompareActionItems(const ActionItem& a, const ActionItem& b) {
    return CompareActionKeys(a.order, SortNameOf(a), b.order, SortNameOf(b));
}
