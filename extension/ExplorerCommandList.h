// The enumerator of a root command's subcommands (IEnumExplorerCommand): a
// fixed array of commands, each held with one reference, handed out in
// order. Apartment-threaded; count 1 from construction, destroyed by its
// last Release; counted in liveObjectCount.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

class ExplorerCommandList final : public IEnumExplorerCommand {
public:
    // A new, empty list with room for `capacity` commands; null when it
    // cannot be had.
    static ExplorerCommandList* Create(int32_t capacity);

    ExplorerCommandList(const ExplorerCommandList&) = delete;
    ExplorerCommandList& operator=(const ExplorerCommandList&) = delete;

    // Takes over the caller's reference to `command` at the end; false (the
    // reference released) when the list is full.
    bool Add(IExplorerCommand* command);

    // IUnknown: IEnumExplorerCommand (also for IUnknown).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // The next `wanted` commands (each with a reference for the caller);
    // S_FALSE when fewer were left. `fetched` may be null.
    STDMETHODIMP Next(ULONG wanted, IExplorerCommand** out, ULONG* fetched) override;
    // Moves past `count` commands; S_FALSE when fewer were left.
    STDMETHODIMP Skip(ULONG count) override;
    // Starts again at the first command. Always S_OK.
    STDMETHODIMP Reset() override;
    // Not offered: E_NOTIMPL, *out null.
    STDMETHODIMP Clone(IEnumExplorerCommand** out) override;

private:
    ExplorerCommandList(IExplorerCommand** commands, int32_t capacity);
    ~ExplorerCommandList();  // only through Release

    LONG refCount;               // COM reference count; 1 from construction
    IExplorerCommand** commands; // `capacity` slots, the first `count` held
    int32_t capacity;            // slots in commands
    int32_t count;               // commands held
    int32_t next;                // index Next hands out first
};
