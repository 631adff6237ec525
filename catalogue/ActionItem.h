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
    // the program is pifPath when set, else targetPath) and starts the
    // process with CreateProcessA in its own console, the working directory
    // when set, and the show command; does not wait for it. `files` are
    // appended in list order; `filesLength` is the sum of their lengths + 1.
    // Returns non-zero when the process started. On failure returns 0 with
    // the system error code in *errorCode and leaves the composed line in
    // `commandLine` for the caller's message (ERROR_NOT_ENOUGH_MEMORY and an
    // empty line when the line's storage could not be had).
    int LaunchAction(const TextListNode* files, int32_t filesLength, HeapText& commandLine, DWORD* errorCode) const;
};

// Negative when a sorts before b: smaller order first, then the display
// name without regard to the case of A-Z.
inline int CompareActionItems(const ActionItem& a, const ActionItem& b) {
    return CompareActionKeys(a.order, a.displayName.Text(), b.order, b.displayName.Text());
}
