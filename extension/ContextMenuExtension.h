// The COM object the shell creates for one context menu of one selection of
// files: IShellExtInit takes the selection, IContextMenu builds the submenu
// of matching actions, gives their help texts and runs the one picked.
//
// Apartment-threaded: one object is created, used and released on one
// thread, which is also the thread that shows its menu, so its fields need
// no lock. Only liveObjectCount is shared, changed with interlocked
// operations.
//
// Borrowed actions. The menu keeps pointers to ActionItems of the catalogue
// generation that was current when it was built, and holds that generation
// (a reader of catalogue/Catalogue.h) until its next ResetMenuState or its
// destruction. A reload on another thread meanwhile builds a new generation
// and leaves this one alive, so the menu shows and runs the actions it was
// built from. itemCount is non-zero only while the generation is held.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>

#include "catalogue/ActionItem.h"
#include "catalogue/Catalogue.h"
#include "toolkit/TextBuffer.h"

struct ThreadHookRecord;

// Room for actions in one submenu; every further matching action is left out.
constexpr int32_t kMaxMenuItems = 512;

extern const char kErrorCaption[];    // "Zentrik Error": caption of the failure message box
extern const char kEmptyItemText[];   // "(Empty)": the grayed item of a submenu without actions

class ContextMenuExtension final : public IContextMenu, public IShellExtInit {
public:
    ContextMenuExtension* nextOnThread;  // next object registered on the same thread's hook record; null at the end
    LONG refCount;                       // COM reference count; starts at 0, the creator's QueryInterface makes it 1
    IDataObject* dataObject;             // the selection from Initialize, one reference held; null until then
    TextListNode* selection;             // selected names, full paths; last added at the head (reverse drop order)
    int32_t selectionCount;              // nodes in selection
    HMENU subMenu;                       // submenu of the last QueryContextMenu; the shell's menu owns it once inserted
    int32_t menuActive;                  // 1 while the submenu is shown (set by the menu hook)
    HWND ownerWindow;                    // window showing the submenu; all bits set when none is known
    HFONT menuFont;                      // font items are measured and painted with; null until the first measure
    int32_t fontOwned;                   // 1 when menuFont was created for this object and must be deleted
    int32_t iconWidth;                   // item icon width in pixels (small or large system size)
    int32_t iconHeight;                  // item icon height in pixels
    ActionItem** items;                  // kMaxMenuItems borrowed pointers, menu order; null when not allocated
    int32_t itemCount;                   // used entries of items, 0..kMaxMenuItems
    UINT firstCommandId;                 // idCmdFirst of the last QueryContextMenu; item k has firstCommandId + k
    HBITMAP checkBitmap;                 // monochrome bitmap beside the popup entry; null when none
    ThreadHookRecord* hookRecord;        // the thread's hook record this object is registered with; null when not
    CatalogueReader borrowed;            // holds the generation that items point into

    ContextMenuExtension();
    ~ContextMenuExtension();  // only through Release
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

    // Drops what belongs to one menu: the selection, the hook registration,
    // the menu font, the check-mark bitmap and the borrowed generation (and
    // with it the items: itemCount becomes 0). subMenu and firstCommandId stay.
    void ResetMenuState();
    // Replaces checkBitmap with a newly drawn one for the system's check-mark
    // size; leaves it null when the bitmap cannot be made.
    void CreateCheckBitmap();
    // Deletes checkBitmap, if any, and clears it.
    void DeleteCheckBitmap();

private:
    // Fills selection from dataObject's CF_HDROP; a shortcut is replaced by
    // its target when `resolveShortcuts`. False when there is no drop list
    // (no data object, GetData failing, no global handle): then no action is
    // collected at all, whereas an empty drop list lets every group match.
    bool GatherSelection(bool resolveShortcuts);
    // Collects the matching actions of the held generation into items,
    // sorted; returns how many.
    int32_t CollectActions();
};

// Draws the popup entry's monochrome check-mark bitmap for a cell of
// width x height pixels: white, a black square in the middle and, in cells
// large enough, a shadow line (extension/CheckMarkGeometry.h). Null when the
// bitmap cannot be created. The caller owns the bitmap.
HBITMAP DrawCheckBitmap(int width, int height);
