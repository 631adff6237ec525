#include "extension/ClassFactory.h"

#include <shlwapi.h>

#include <new>

#include "catalogue/Catalogue.h"
#include "extension/ContextMenuExtension.h"
#include "extension/ModuleLifetime.h"
#include "toolkit/Paths.h"
#include "toolkit/TextBuffer.h"

namespace {

// Set up before DllMain sees process attach, taken down after it has
// handled process detach (the platform's order for static objects of a DLL).
ModuleLifetime moduleLifetime;

// The folder of the library's own file, with its trailing backslash: the
// catalogue's library folder. Empty when the platform cannot name the file.
void LibraryFolderOf(HINSTANCE module, FixedText& folder) {
    FixedText file;
    if (GetModuleFileNameA(module, file.storage, kFixedTextCapacity + 1) == 0) file.storage[0] = '\0';
    file.Recount();
    DirectoryOf(folder, file.Text());
}

}  // namespace

ClassFactory::ClassFactory() : refCount(1) { ObjectCreated(); }

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
    if (!IsEqualCLSID(rclsid, kExtensionClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LiveObjects() == 0 ? S_OK : S_FALSE; }

// Process attach loads the catalogue from the library's own folder:
// settings, the scan of the folder and the change watch. Process detach stops the watch and frees
// the catalogue; a generation still held by a live menu would outlive it,
// but the library is unloaded only once no object is alive.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    switch (fdwReason) {
        case DLL_PROCESS_ATTACH: {
            instanceHandle = hinstDLL;
            FixedText folder;
            LibraryFolderOf(hinstDLL, folder);
            LoadCatalogue(folder.Text());
            break;
        }
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
