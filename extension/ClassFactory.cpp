#include "extension/ClassFactory.h"

#include <cstring>
#include <new>

#include "catalogue/Catalogue.h"
#include "catalogue/Module.h"
#include "extension/ContextMenuExtension.h"
#include "extension/ModuleLifetime.h"

const CLSID kExtensionClassId = {0x5b1e0a42, 0x7c3d, 0x4f19, {0x9a, 0x6e, 0x2d, 0x8c, 0x41, 0xf0, 0xb7, 0xa3}};

namespace {

// Set up before DllMain sees process attach, taken down after it has
// handled process detach (the platform's order for static objects of a DLL).
ModuleLifetime moduleLifetime;

}  // namespace

ClassFactory::ClassFactory() : refCount(0) { ObjectCreated(); }

ClassFactory::~ClassFactory() { ObjectDestroyed(); }

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    ContextMenuExtension* object = new (std::nothrow) ContextMenuExtension;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;  // never handed out: its count is still 0
    return hr;
}

STDMETHODIMP ClassFactory::LockServer(BOOL) { return S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (std::memcmp(&rclsid, &kExtensionClassId, sizeof(CLSID)) != 0) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete factory;
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LiveObjects() == 0 ? S_OK : S_FALSE; }

// Process attach loads the catalogue: settings, the scan of the library's
// directory and the change watch. Process detach stops the watch and frees
// the catalogue; a generation still held by a live menu would outlive it,
// but the library is unloaded only once no object is alive.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    switch (fdwReason) {
        case DLL_PROCESS_ATTACH:
            instanceHandle = hinstDLL;
            LoadCatalogue();
            break;
        case DLL_PROCESS_DETACH:
            CloseChangeWatch();
            FreeCatalogue();
            instanceHandle = nullptr;
            break;
        default:
            break;
    }
    return TRUE;
}
