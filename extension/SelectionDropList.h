// The selection of a command object (an IShellItemArray) as the classic menu
// receives it: a data object offering one wide CF_HDROP drop list of the
// items' file-system paths, in the array's order, and nothing else.
//
// An item without a file-system path (a shell namespace item) is left out,
// as the shell's own data object leaves it out of CF_HDROP. GetData hands
// out a copy of the list; the object owns the original. Counted in
// liveObjectCount like the library's other objects.
#pragma once

#include <windows.h>
#include <shobjidl.h>

class SelectionDropList final : public IDataObject {
public:
    // A new object (count 1) holding the drop list of `items`; null when the
    // list or the object cannot be had. A null or empty array gives an empty
    // list (the drop list of no file).
    static SelectionDropList* FromItems(IShellItemArray* items);

    SelectionDropList(const SelectionDropList&) = delete;
    SelectionDropList& operator=(const SelectionDropList&) = delete;

    // IUnknown: IDataObject (also for IUnknown).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // CF_HDROP on TYMED_HGLOBAL only: a copy the caller releases
    // (ReleaseStgMedium); DV_E_FORMATETC for anything else, E_OUTOFMEMORY.
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    // The rest is not offered.
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

private:
    explicit SelectionDropList(HGLOBAL drop);
    ~SelectionDropList();  // only through Release

    LONG refCount;  // COM reference count; 1 from construction
    HGLOBAL drop;   // the DROPFILES block (moveable), owned
};
