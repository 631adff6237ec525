#include "extension/ClassFactory.h"

#include <shlwapi.h>

#include <new>

#include "extension/ContextMenuExtension.h"
#include "extension/ExplorerCommand.h"
#include "extension/ModuleLifetime.h"

ClassFactory::ClassFactory(bool explorerCommand) : refCount(1), explorerCommand(explorerCommand) { ObjectCreated(); }

ClassFactory::~ClassFactory() { ObjectDestroyed(); }

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB interfaces[] = {
        QITABENT(ClassFactory, IClassFactory),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, riid, ppv);
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
    if (explorerCommand) {
        ExplorerCommand* command = new (std::nothrow) ExplorerCommand;
        if (command == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = command->QueryInterface(riid, ppv);
        command->Release();  // the caller's reference, if any, keeps it alive
        return hr;
    }
    ContextMenuExtension* object = new (std::nothrow) ContextMenuExtension;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // the caller's reference, if any, keeps it alive
    return hr;
}

STDMETHODIMP ClassFactory::LockServer(BOOL) { return S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    const bool explorerCommand = IsEqualCLSID(rclsid, kExplorerCommandClassId) != FALSE;
    if (!explorerCommand && !IsEqualCLSID(rclsid, kExtensionClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory(explorerCommand);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LiveObjects() == 0 ? S_OK : S_FALSE; }

// Process attach only keeps the module and creates the locks (the
// catalogue is loaded by its first user); process detach stops the watch,
// frees the catalogue and closes the locks. The library is unloaded only
// once no object is alive, so no menu is left to read what goes.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    switch (fdwReason) {
        case DLL_PROCESS_ATTACH:
            LibraryAttach(hinstDLL);
            break;
        case DLL_PROCESS_DETACH:
            LibraryDetach();
            break;
        default:
            break;
    }
    return TRUE;
}
