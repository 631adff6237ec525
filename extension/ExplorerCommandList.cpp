#include "extension/ExplorerCommandList.h"

#include <shlwapi.h>

#include <new>

#include "extension/ModuleLifetime.h"

ExplorerCommandList* ExplorerCommandList::Create(int32_t capacity) {
    if (capacity < 1) capacity = 1;
    auto** commands = new (std::nothrow) IExplorerCommand*[static_cast<size_t>(capacity)];
    if (commands == nullptr) return nullptr;
    ExplorerCommandList* list = new (std::nothrow) ExplorerCommandList(commands, capacity);
    if (list == nullptr) delete[] commands;
    return list;
}

ExplorerCommandList::ExplorerCommandList(IExplorerCommand** commands, int32_t capacity)
    : refCount(1), commands(commands), capacity(capacity), count(0), next(0) {
    ObjectCreated();
}

ExplorerCommandList::~ExplorerCommandList() {
    for (int32_t i = 0; i < count; ++i) commands[i]->Release();
    delete[] commands;
    ObjectDestroyed();
}

bool ExplorerCommandList::Add(IExplorerCommand* command) {
    if (count == capacity) {
        command->Release();
        return false;
    }
    commands[count++] = command;
    return true;
}

STDMETHODIMP ExplorerCommandList::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB interfaces[] = {
        QITABENT(ExplorerCommandList, IEnumExplorerCommand),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ExplorerCommandList::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) ExplorerCommandList::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ExplorerCommandList::Next(ULONG wanted, IExplorerCommand** out, ULONG* fetched) {
    if (out == nullptr) return E_POINTER;
    ULONG given = 0;
    while (given < wanted && next < count) {
        out[given] = commands[next++];
        out[given]->AddRef();
        ++given;
    }
    if (fetched != nullptr) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
}

STDMETHODIMP ExplorerCommandList::Skip(ULONG skipped) {
    const ULONG left = static_cast<ULONG>(count - next);
    const ULONG step = skipped < left ? skipped : left;
    next += static_cast<int32_t>(step);
    return step == skipped ? S_OK : S_FALSE;
}

STDMETHODIMP ExplorerCommandList::Reset() {
    next = 0;
    return S_OK;
}

STDMETHODIMP ExplorerCommandList::Clone(IEnumExplorerCommand** out) {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
}
