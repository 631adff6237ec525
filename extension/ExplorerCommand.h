// The command objects that put the actions into the first context menu of
// Windows 11, which shows only packaged IExplorerCommand handlers (declared
// by the sparse package of packaging/msix, hosted by the shell in a
// surrogate process).
//
// One class, two roles:
//   root     the entry the shell creates through kExplorerCommandClassId:
//            titled with the menu caption, the product icon, with
//            subcommands (ECF_HASSUBCOMMANDS);
//   action   one subcommand per item the classic menu would list for the
//            same selection, in the same order, made by the root's
//            EnumSubCommands.
//
// Nothing of the matching or launching is done here: the root lists the
// selection through a ContextMenuExtension (the classic menu's object) fed
// with the selection's drop list, ContextMenuExtension::ListActions, and an
// action runs through that object's InvokeCommand with its offset, so the
// command line, the error boxes and the interpreter rules are the classic
// menu's. The listing (and with it the catalogue generation the items point
// into) is shared by the root and its subcommands, each holding a
// reference.
//
// The shell offers one level of subcommands and no owner drawing: a title,
// an icon path, a tool tip and a state per item. The classic menu's
// submenus are flattened (ContextMenuExtension::ListFlatActions): a
// submenu is a disabled heading before its own actions.
//
// Files and folders come as the shell item array. The background of a
// folder window or of the desktop comes as no array (or an empty one); its
// folder is the one the site's browser shows (IServiceProvider ->
// SID_STopLevelBrowser -> IShellBrowser -> the active view's folder), and
// the classic object is initialised with it as for its own background menu.
//
// Apartment-threaded like the classic object; created with a reference count
// of 1 and destroyed by its last Release; counted in liveObjectCount.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "extension/ContextMenuExtension.h"
#include "toolkit/Win32Handles.h"

class ExplorerCommandList;

class ExplorerCommand final : public IExplorerCommand, public IObjectWithSite {
public:
    // The most subcommands one root hands out: one per menu item.
    static constexpr int32_t kMaxSubCommands = kMaxMenuItems;

    LONG refCount;                      // COM reference count; 1 from construction, destroyed at 0
    ComPtr<IUnknown> site;              // the shell's site (SetSite); empty until given
    ContextMenuExtension* listing;      // the listed selection, one reference held; null until listed (root) or for a placeholder
    ComPtr<IShellItemArray> listedFor;  // the array the root's listing was made from
    int32_t offset;                     // action role: the item's offset in listing; -1 for the root
    const wchar_t* placeholder;         // action role: the disabled "(Empty)" or "(Too many files)" text; else null

    // A root command, count 1.
    ExplorerCommand();
    ExplorerCommand(const ExplorerCommand&) = delete;
    ExplorerCommand& operator=(const ExplorerCommand&) = delete;

    // IUnknown: IExplorerCommand (also for IUnknown) and IObjectWithSite.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IExplorerCommand. Every text and path is handed out with SHStrDupW
    // (the caller frees it with CoTaskMemFree); *out is null on failure.
    // Root: the menu caption of the settings the listing of `items` holds.
    // Action: the action's display name, or the placeholder text.
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* out) override;
    // Root: "<this library's folder>\Zentprops.exe,0" (the product icon).
    // Action: the shortcut's icon location, else its target with index 0;
    // E_FAIL when neither is known (the shell then shows no icon).
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* out) override;
    // Action: the classic menu's status text for the item; the root has none
    // (E_NOTIMPL).
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* out) override;
    // kExplorerCommandClassId for the root, GUID_NULL for an action.
    STDMETHODIMP GetCanonicalName(GUID* out) override;
    // Root: E_PENDING when `okToBeSlow` is false and the catalogue was never
    // loaded; else lists `items` and is ECS_HIDDEN when no action matches
    // and the settings hide an empty submenu, else ECS_ENABLED. Action:
    // ECS_DISABLED for a placeholder, else ECS_ENABLED.
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* out) override;
    // Action: runs the item through the classic InvokeCommand (message boxes
    // owned by the site's window). The root and a placeholder do nothing
    // (E_NOTIMPL). An action runs once: the listing is done with after it.
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) override;
    // ECF_HASSUBCOMMANDS for the root, ECF_DEFAULT for an action.
    STDMETHODIMP GetFlags(EXPCMDFLAGS* out) override;
    // Root: the subcommands of the last listing (BuildSubCommands); an
    // action has none (E_NOTIMPL).
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** out) override;

    // IObjectWithSite: keeps `unknown` (with a reference) in place of the
    // last site. Always S_OK.
    STDMETHODIMP SetSite(IUnknown* unknown) override;
    // The site's `riid` interface; E_FAIL when there is none.
    STDMETHODIMP GetSite(REFIID riid, void** ppv) override;

private:
    ~ExplorerCommand();  // only through Release

    // Makes listing hold the actions for `items` unless it holds them
    // already (the same array as last time); no item means the background
    // of the site's folder. False when no listing can be had (then listing
    // is null).
    bool EnsureListing(IShellItemArray* items);
    // The subcommands for the listing, in menu order, added to `commands`;
    // returns how many (up to kMaxSubCommands). A listing without action
    // gives the placeholder the classic menu shows, or none when an empty
    // submenu is hidden.
    int32_t BuildSubCommands(ExplorerCommandList& commands);
};
