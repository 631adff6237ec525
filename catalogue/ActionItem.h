// One action: a shortcut file inside a group folder, read once when the
// catalogue is loaded and not changed afterwards.
//
// The item keeps what the menu shows (display name without its order
// suffix, order, icon) and what starting it needs (program, arguments,
// working directory, show command). It owns its five texts, each reserved
// to exactly its length + 1, and its icon.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/ActionOrder.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideText.h"

enum class LaunchResult {
    kStarted,      // the process runs
    kStartFailed,  // CreateProcessW (or the line's storage) failed: errorCode
    kNameRefused,  // a file the command interpreter cannot pass: refusedIndex
    kTooLong,      // the line is longer than the system starts: lineLength
};

struct LaunchOutcome {
    LaunchResult result;
    DWORD errorCode;       // kStartFailed: the system error code; else 0
    int32_t refusedIndex;  // kNameRefused: position of the file in the list; else -1
    int64_t lineLength;    // units of the composed line without its terminator
};

class ActionItem {
public:
    ActionItem* nextItem;      // next item of the same group; null at the end
    int32_t order;             // sort key: DefaultOrder, or the display name's order suffix
    HeapText displayName;      // shell display name without the order suffix; empty = not kept
    HeapText pifPath;          // the shortcut file itself when it is a .PIF, else empty
    HeapText arguments;        // link arguments, trimmed and unquoted
    HeapText targetPath;       // link target path, trimmed and unquoted
    HeapText workingDirectory; // link working directory, trimmed and unquoted; may be empty
    int32_t showCommand;       // link show command; SW_SHOWDEFAULT when the link gives none
    IconHandle icon;           // owned; invalid (null) when none could be had

    // Reads the shortcut file at `shortcutPath` (full path). Never fails as a
    // whole: what cannot be read stays empty, and a link that cannot be
    // loaded leaves the display name empty, so the loader drops the item.
    // Takes DefaultOrder, LinkOverlay and LargeIcon from theSettings.
    explicit ActionItem(const char* shortcutPath);
    ~ActionItem();
    ActionItem(const ActionItem&) = delete;
    ActionItem& operator=(const ActionItem&) = delete;

    // Allocates (from the text heap, so allocation failure can be injected)
    // and constructs an item; null when it cannot be allocated.
    static ActionItem* Create(const char* shortcutPath);
    // Destroys and frees an item made by Create; null is ignored.
    static void Destroy(ActionItem* item);

    // Replaces the icon by the shell's icon for the shortcut file: with the
    // shortcut overlay (SHGFI_ICON) when LinkOverlay is on, else the plain
    // type icon from the system image list; small unless LargeIcon is on.
    // The icon stays null when none can be had.
    void RefreshIcon(const char* shortcutPath);
    // Destroys the icon, if any, and clears it.
    void ReleaseIcon();

    // Composes the command line into `commandLine` (see catalogue/CommandLine.h;
    // the program is pifPath when set, else targetPath; the texts converted
    // from the ANSI code page) and starts the process with CreateProcessW in
    // its own console, the working directory when set, and the show command;
    // does not wait for it. `files` are appended in list order, written for
    // the command interpreter when the program, or the link target of a
    // .PIF, is one it runs (a batch file or cmd.exe). Unless the process
    // started, the outcome says why, and `commandLine` holds the composed
    // line when there was one (empty when a file was refused, the line was
    // too long or its storage could not be had; the last is reported as a
    // failed start with ERROR_NOT_ENOUGH_MEMORY).
    LaunchOutcome LaunchAction(const WideTextNode* files, HeapWide& commandLine) const;
};

// Negative when a sorts before b: smaller order first, then the display
// name without regard to the case of A-Z.
inline int CompareActionItems(const ActionItem& a, const ActionItem& b) {
    return CompareActionKeys(a.order, a.displayName.Text(), b.order, b.displayName.Text());
}
