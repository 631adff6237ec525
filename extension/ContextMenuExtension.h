// The COM object the shell creates for one context menu of one selection of
// files and folders, or of the empty space of a folder window: IShellExtInit
// takes the selection, IContextMenu builds the submenu of matching actions
// (with the library's submenus as popups inside it), gives their help
// texts and runs the one picked.
//
// The shell creates it for files (the "*" handler key), for folders
// ("Directory"), for drive roots ("Drive") and for a folder's background
// ("Directory\Background", the desktop's included). A selection comes as a
// drop list, folders and drive roots told apart from files by their
// attributes; the background comes as the folder's ID list and no data
// object, and that folder is then the one name the action gets.
//
// A thin COM shell: the selection and the catalogue generation are its own,
// everything the owner-drawn submenu needs while it is shown (the menu, its
// owner window, font, icon size, items, first command id, check-mark bitmap,
// hook registration) lives in the embedded OwnerDrawMenu (menudraw/), which
// the message hook and the painter work on.
//
// Apartment-threaded: one object is created, used and released on one
// thread, which is also the thread that shows its menu, so its fields need
// no lock. Only liveObjectCount is shared, changed with interlocked
// operations. Created with a reference count of 1 and destroyed only by its
// last Release.
//
// Borrowed actions. The menu keeps pointers to ActionItems of the catalogue
// generation that was current when it was built, and holds that generation
// (a reader of catalogue/Catalogue.h) until its next ResetMenuState or its
// destruction. A reload on another thread meanwhile builds a new generation
// and leaves this one alive, so the menu shows and runs the actions it was
// built from. menu.itemCount is non-zero only while the generation is held,
// and menu.settings points at that generation's settings (at the defaults
// while none is held), so caption, measuring and painting never read a
// record a reload writes.
//
// The catalogue is loaded by the first Initialize or QueryContextMenu of
// the process (EnsureLibraryCatalogue), on the shell's thread.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>

#include "catalogue/ActionItem.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CommandLine.h"
#include "menudraw/OwnerDrawMenu.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideText.h"

extern const wchar_t kErrorCaption[];  // "Zentrik Error": caption of the failure message box
extern const wchar_t kEmptyItemText[];  // "(Empty)": the grayed item of a submenu without actions
extern const wchar_t kTooManyItemText[];  // "(Too many files)": the grayed item of a selection too large to check

// The most selected files a menu is built for: more than any action's
// command line can carry (kCommandLineLimit units; each passed name takes a
// space and at least the four units of "C:\x", behind at least `"" `). A
// larger selection gets the kTooManyItemText item, as does one of more than
// kMaxSelectedTypes distinct types (catalogue/ActionCollector.h): the work
// on the shell's thread stays bounded.
constexpr int32_t kMaxSelectedFiles = (kCommandLineLimit - 1 - 3) / 5;

// The caption of the entry that holds the actions: the menu name when the
// settings say to use it, else the product word. Never null.
const char* MenuCaption(const Settings& options);

class ContextMenuExtension final : public IContextMenu3, public IShellExtInit {
public:
    LONG refCount;                    // COM reference count; 1 from construction, destroyed at 0
    ComPtr<IDataObject> dataObject;   // the selection from Initialize, one reference held; empty until then
    HeapWide backgroundFolder;        // the folder whose empty space was clicked (Initialize without data object); empty otherwise
    WideTextNode* selection;          // selected names, full UTF-16 paths; last added at the head (reverse drop order)
    int32_t selectionCount;           // nodes in selection
    bool* selectedFolders;            // one per selected name in drop order: a folder or drive root; null when none gathered
    OwnerDrawMenu menu;               // the submenu of the last QueryContextMenu and its owner-draw state
    CatalogueReader borrowed;         // holds the generation that menu.items point into
    int32_t linkTargetCount;          // selected shortcuts replaced by their targets (CMF_VERBSONLY)
    HeapWide firstLinkTarget;         // the first of those targets in drop order; empty when none
    bool tooManyFiles;                // the selection was too large to check: the kTooManyItemText item

    // Count 1: the creator's reference, given up with Release.
    ContextMenuExtension();
    ContextMenuExtension(const ContextMenuExtension&) = delete;
    ContextMenuExtension& operator=(const ContextMenuExtension&) = delete;

    // IUnknown (shared by both interfaces).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit: keeps `pdtobj` (with a reference) in place of any
    // earlier data object. Without a data object, `pidlFolder` names the
    // folder whose background was clicked: its file-system path is kept
    // (a virtual folder such as the computer has none, and then the menu
    // offers nothing). Always S_OK.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

    // IContextMenu.
    // Inserts one popup entry holding the matching actions at indexMenu of
    // hmenu; the code of the result is the number of identifiers used.
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    // Runs the action at the numeric verb's offset (extension/ActionLauncher.h:
    // with CMIC_MASK_FLAG_NO_UI no box or question, a failure is the result);
    // E_INVALIDARG for a verb that names no action (a submenu starts
    // nothing). Ends the menu either way.
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
    // The help text (the program not found, else the shortcut's comment,
    // else what it opens) or the name of the item at offset idCmd;
    // E_INVALIDARG for an offset that names no item.
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, LPSTR pszName, UINT cchMax) override;

    // IContextMenu2 and IContextMenu3: the messages the shell hands over
    // for the extension's items. WM_MENUCHAR in the submenu answers with the
    // item a typed letter picks (OwnerDrawMenu::AnswerMenuChar);
    // WM_INITMENUPOPUP, WM_MEASUREITEM and WM_DRAWITEM are left to the
    // menu's message hook (menudraw/MenuHook.h), which sees them at the
    // window after the shell's procedure has handed them here, and are
    // answered as handled. Every other message: S_FALSE. `plResult` may be
    // null.
    STDMETHODIMP HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    STDMETHODIMP HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;

    // Drops what belongs to one menu: the selection, then the menu's hook
    // registration, font and check-mark bitmap (OwnerDrawMenu::Reset), then
    // the borrowed generation (and with it the items: menu.itemCount becomes
    // 0). menu.subMenu and menu.firstCommandId stay.
    void ResetMenuState();

    // The menu's entries without the menu: loads the catalogue on first use,
    // reloads it when changed, holds the current generation (menu.settings
    // its settings), gathers the selection of the data object given to
    // Initialize and collects the matching entries (actions and submenus)
    // into `entries` (kMaxCollectedActions slots; null: none), sorted.
    // Returns their number. The generation stays held, also with no entry,
    // until ResetMenuState. Called on a reset object (QueryContextMenu).
    int32_t ListActions(bool resolveShortcuts, ActionItem** entries);
    // ListActions, then the entries as one flat list in menu.items, in menu
    // order: a submenu is a heading followed by its own entries (submenus of
    // the same name merged, as the classic menu shows them), a submenu with
    // nothing to show left out. Returns menu.itemCount. For the command
    // objects of extension/ExplorerCommand.h, which have one level only and
    // run an action through InvokeCommand with its offset.
    int32_t ListFlatActions(bool resolveShortcuts);

private:
    ~ContextMenuExtension();  // only through Release


    // Fills selection from dataObject's CF_HDROP, each name read whole in
    // UTF-16 at the length the drop list reports; a shortcut is replaced by
    // its target when `resolveShortcuts` and the target exists as a file or
    // folder (else the shortcut stands for itself), counted in
    // linkTargetCount. False when there is no drop list (no data object,
    // GetData failing, no global handle), when a name cannot be kept for
    // want of memory, or when the list holds more than kMaxSelectedFiles
    // (tooManyFiles): then no action is collected at all, whereas an empty
    // drop list lets every group match. Without a data object the
    // background folder, when Initialize kept one, is the one name. Each
    // name is marked in selectedFolders: the shell's own data object tells
    // folders by the ID lists it carries (no file is touched); a name it
    // does not describe (another drag source, a drive root) is asked of the
    // file system.
    bool GatherSelection(bool resolveShortcuts);
    // Puts one selected name at the head of selection: the link's target
    // in its place as GatherSelection says. Records in `isFolder` whether
    // what was taken is a folder: from `knownAttributes` (what the shell's
    // ID list holds for the name; INVALID_FILE_ATTRIBUTES when nothing) or
    // else from the file system. False when memory runs short.
    bool TakeSelected(const HeapWide& name, bool resolveShortcuts, DWORD knownAttributes, bool& isFolder);
    // Collects the matching entries (actions and submenus) of the held
    // generation into `entries` (kMaxCollectedActions slots), sorted
    // (catalogue/ActionCollector.h); returns how many. A selected name whose
    // attributes say folder (a drive root too) is matched as a folder, any
    // other as a file by its type; the background folder is matched as the
    // background. Sets tooManyFiles for a selection of too many types.
    int32_t CollectActions(ActionItem** entries);
    // Inserts entries[0 .. count-1] (sorted; null ones skipped) into
    // `target` from its first position, each taking the next slot of
    // menu.items (command id firstCommandId + slot, itemMenus = target),
    // until menu.itemCount reaches `limit`. A submenu takes its slot, then
    // its popup is filled the same way with its own items and those of the
    // later submenus of the same name at this level (these entries are set
    // to null); a submenu whose popup stays empty is left out and gives its
    // slot back. Owner-drawn, or text items when `ownerDrawn` is false.
    // With a null `target` nothing is inserted anywhere: the entries only
    // take their slots, a submenu as a heading before its own entries.
    // Returns the number of items inserted into `target`.
    int32_t AddEntries(HMENU target, ActionItem** entries, int32_t count, int32_t limit, bool ownerDrawn);
};
