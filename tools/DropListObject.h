// A data object that offers one wide CF_HDROP drop list and nothing else, as
// a drag source other than the shell's folders hands it over; GetData hands
// out a copy. Shared by the shell host and the selection benchmark.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

class DropListObject final : public IDataObject {
public:
    explicit DropListObject(HGLOBAL drop) : drop(drop) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs);
        if (n == 0) {
            GlobalFree(drop);
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        const SIZE_T size = GlobalSize(drop);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(GlobalLock(copy), GlobalLock(drop), size);
        GlobalUnlock(drop);
        GlobalUnlock(copy);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG refs = 1;
    HGLOBAL drop;
};

// A new data object over a DROPFILES block with the wide `names`, each
// terminated, the list ended by one more terminator; null when the block
// cannot be had.
inline IDataObject* NewWideDropList(const std::wstring& names) {
    HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    if (drop == nullptr) return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(drop);
    return new DropListObject(drop);
}
