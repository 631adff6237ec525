// The COM object the shell creates for one context menu of one selection of
// files: IShellExtInit takes the selection, IContextMenu builds the submenu
// of matching actions, gives their help texts and runs the one picked.
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
#include "menudraw/OwnerDrawMenu.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideText.h"

extern const wchar_t kErrorCaption[];  // "Zentrik Error": caption of the failure message box
extern const wchar_t kEmptyItemText[];  // "(Empty)": the grayed item of a submenu without actions

class ContextMenuExtension final : public IContextMenu, public IShellExtInit {
public:
    LONG refCount;                    // COM reference count; 1 from construction, destroyed at 0
    ComPtr<IDataObject> dataObject;   // the selection from Initialize, one reference held; empty until then
    WideTextNode* selection;          // selected names, full UTF-16 paths; last added at the head (reverse drop order)
    int32_t selectionCount;           // nodes in selection
    OwnerDrawMenu menu;               // the submenu of the last QueryContextMenu and its owner-draw state
    CatalogueReader borrowed;         // holds the generation that menu.items point into

    // Count 1: the creator's reference, given up with Release.
    ContextMenuExtension();
    ContextMenuExtension(const ContextMenuExtension&) = delete;
    ContextMenuExtension& operator=(const ContextMenuExtension&) = delete;

    // IUnknown (shared by both interfaces).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit: keeps `pdtobj` (with a reference) in place of any
    // earlier data object. Always S_OK.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

    // IContextMenu.
    // Inserts one popup entry holding the matching actions at indexMenu of
    // hmenu; the code of the result is the number of identifiers used.
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    // Runs the action at the numeric verb's offset; E_INVALIDARG for a verb
    // that names no item. Ends the menu either way.
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
    // The help text or the name of the item at offset idCmd. Always S_OK.
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, LPSTR pszName, UINT cchMax) override;

    // Drops what belongs to one menu: the selection, then the menu's hook
    // registration, font and check-mark bitmap (OwnerDrawMenu::Reset), then
    // the borrowed generation (and with it the items: menu.itemCount becomes
    // 0). menu.subMenu and menu.firstCommandId stay.
    void ResetMenuState();

private:
    ~ContextMenuExtension();  // only through Release


    // Fills selection from dataObject's CF_HDROP, each name read whole in
    // UTF-16 at the length the drop list reports; a shortcut is replaced by
    // its target when `resolveShortcuts`. False when there is no drop list
    // (no data object, GetData failing, no global handle): then no action is
    // collected at all, whereas an empty drop list lets every group match.
    bool GatherSelection(bool resolveShortcuts);
    // Collects the matching actions of the held generation into menu.items,
    // sorted (catalogue/ActionCollector.h); returns how many.
    int32_t CollectActions();
};
