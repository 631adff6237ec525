#include "extension/SelectionDropList.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <new>

#include "extension/ModuleLifetime.h"

namespace {

// The file-system path of item `index` of `items` (CoTaskMem, the caller
// frees it); null when it has none.
wchar_t* ItemPath(IShellItemArray* items, DWORD index) {
    IShellItem* item = nullptr;
    if (FAILED(items->GetItemAt(index, &item)) || item == nullptr) return nullptr;
    wchar_t* path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) path = nullptr;
    item->Release();
    return path;
}

}  // namespace

SelectionDropList* SelectionDropList::FromItems(IShellItemArray* items) {
    DWORD count = 0;
    if (items != nullptr && FAILED(items->GetCount(&count))) count = 0;
    // Two passes: the sizes first, then the names into one block.
    SIZE_T units = 1;  // the terminator of the list
    for (DWORD i = 0; i < count; ++i) {
        wchar_t* path = ItemPath(items, i);
        if (path == nullptr) continue;
        units += static_cast<SIZE_T>(lstrlenW(path)) + 1;
        CoTaskMemFree(path);
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    if (block == nullptr) return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    if (header == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    wchar_t* next = reinterpret_cast<wchar_t*>(header + 1);
    SIZE_T left = units - 1;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t* path = ItemPath(items, i);
        if (path == nullptr) continue;
        const SIZE_T length = static_cast<SIZE_T>(lstrlenW(path));
        // The array cannot change between the passes; a name that would not
        // fit all the same is left out rather than cut.
        if (length + 1 <= left) {
            std::memcpy(next, path, length * sizeof(wchar_t));
            next += length + 1;
            left -= length + 1;
        }
        CoTaskMemFree(path);
    }
    GlobalUnlock(block);
    SelectionDropList* object = new (std::nothrow) SelectionDropList(block);
    if (object == nullptr) GlobalFree(block);
    return object;
}

SelectionDropList::SelectionDropList(HGLOBAL drop) : refCount(1), drop(drop) { ObjectCreated(); }

SelectionDropList::~SelectionDropList() {
    GlobalFree(drop);
    ObjectDestroyed();
}

STDMETHODIMP SelectionDropList::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB interfaces[] = {
        QITABENT(SelectionDropList, IDataObject),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) SelectionDropList::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) SelectionDropList::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP SelectionDropList::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const SIZE_T size = GlobalSize(drop);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr) return E_OUTOFMEMORY;
    void* to = GlobalLock(copy);
    const void* from = GlobalLock(drop);
    if (to != nullptr && from != nullptr) std::memcpy(to, from, size);
    if (from != nullptr) GlobalUnlock(drop);
    if (to != nullptr) GlobalUnlock(copy);
    if (to == nullptr || from == nullptr) {
        GlobalFree(copy);
        return E_OUTOFMEMORY;
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP SelectionDropList::QueryGetData(FORMATETC* format) {
    if (format == nullptr) return E_INVALIDARG;
    return format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) != 0 ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP SelectionDropList::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP SelectionDropList::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out != nullptr) out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SelectionDropList::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP SelectionDropList::EnumFormatEtc(DWORD, IEnumFORMATETC** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SelectionDropList::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP SelectionDropList::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP SelectionDropList::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }
