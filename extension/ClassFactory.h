// The library's COM entry: the class factory for ContextMenuExtension
// objects, the two exports the shell calls, and the library entry point.
//
// The library serves two classes (toolkit/ClassId.h): kExtensionClassId, the
// classic context-menu object, and kExplorerCommandClassId, the root command
// object of the Windows 11 menu (extension/ExplorerCommand.h). A factory or an object counts once in liveObjectCount
// from construction to destruction, whatever its reference count;
// DllCanUnloadNow answers from that count. Both are created with a
// reference count of 1 and destroyed only by their last Release.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "toolkit/ClassId.h"

class ClassFactory final : public IClassFactory {
public:
    LONG refCount;         // COM reference count; 1 from construction, destroyed at 0
    bool explorerCommand;  // makes ExplorerCommand roots instead of ContextMenuExtension objects

    // Count 1: the creator's reference, given up with Release.
    explicit ClassFactory(bool explorerCommand);
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    // IUnknown or IClassFactory (tested in that order): the factory itself.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // A new ContextMenuExtension's (or ExplorerCommand's) `riid` interface; CLASS_E_NOAGGREGATION
    // for an outer object, E_OUTOFMEMORY, or the object's E_NOINTERFACE (the
    // object is destroyed again). *ppv is null on every failure.
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    // Does nothing: the library's lifetime follows its live objects only.
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    ~ClassFactory();  // only through Release
};

extern "C" {
// A new factory's `riid` interface for kExtensionClassId;
// CLASS_E_CLASSNOTAVAILABLE for any other class, E_OUTOFMEMORY, or
// E_NOINTERFACE (the factory is destroyed again). *ppv is null on failure.
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when no factory or object is alive, else S_FALSE.
HRESULT STDAPICALLTYPE DllCanUnloadNow();
}
