// Small move-only owners for platform handles, one close policy per handle
// type, plus a COM interface pointer and a recursive lock (a critical
// section) with its scoped hold.
//
// A handle type is described by traits: the handle type, the value that means
// "none" (given by a function, because mingw rejects INVALID_HANDLE_VALUE as a
// template argument) and the call that closes it. An owner closes only what it
// holds: a handle equal to the traits' invalid value is never closed.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() : handle(Traits::Invalid()) {}
    explicit UniqueHandle(Handle h) : handle(h) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const { return handle; }
    bool Valid() const { return handle != Traits::Invalid(); }

    // Closes the held handle (when valid) and takes `h` in its place.
    void Reset(Handle h = Traits::Invalid()) {
        if (handle != Traits::Invalid()) Traits::Close(handle);
        handle = h;
    }
    // Gives up ownership without closing.
    Handle Detach() {
        Handle h = handle;
        handle = Traits::Invalid();
        return h;
    }
    // For calls that fill a handle through a pointer: closes what is held first.
    Handle* Receive() {
        Reset();
        return &handle;
    }

private:
    Handle handle;
};

// Kernel objects closed with CloseHandle (mutexes, events, processes, threads).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

// FindFirstFileW listings.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

// FindFirstChangeNotificationW watches.
struct ChangeNotificationTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindCloseChangeNotification(h); }
};

// Files opened with CreateFileW.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

// Registry keys opened or created by RegOpenKeyEx / RegCreateKeyEx (either form).
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

// Icons that the holder must destroy.
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using ChangeNotificationHandle = UniqueHandle<ChangeNotificationTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using IconHandle = UniqueHandle<IconTraits>;

// Holds one reference to a COM interface and releases it once.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }

    ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer = other.pointer;
            other.pointer = nullptr;
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* Get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    void Reset() {
        if (pointer != nullptr) {
            Interface* p = pointer;
            pointer = nullptr;
            p->Release();
        }
    }
    // For calls that hand out an interface through void**: releases what is
    // held first. The callee's reference becomes this holder's.
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&pointer);
    }
    // Gives up the pointer without releasing it: for a slot that a failed
    // call may have left filled with something that is not a reference.
    Interface* Detach() {
        Interface* p = pointer;
        pointer = nullptr;
        return p;
    }

private:
    Interface* pointer = nullptr;
};

// A process-wide lock that the thread holding it may take again, waited on
// without a time-out. It is a critical section, not a kernel object: a take
// and release nobody contends makes no call into the system (a mutex makes
// two, tens of microseconds each under Wine, on every menu). Constant-
// initialised, so it depends on no start-up order; usable after Create and
// until Destroy. Before Create, after Destroy, and when Create failed, a
// hold guards nothing and the caller goes on unguarded.
class RecursiveLock {
public:
    constexpr RecursiveLock() : section(), created(0) {}
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    // Makes the lock usable; does nothing when it is already.
    void Create() {
        if (created == 0 && InitializeCriticalSectionAndSpinCount(&section, 0)) created = 1;
    }
    // Gives the lock back; nobody may hold it or wait for it.
    void Destroy() {
        if (created == 0) return;
        created = 0;
        DeleteCriticalSection(&section);
    }
    bool Created() const { return created != 0; }

private:
    friend class LockHold;
    CRITICAL_SECTION section;
    volatile LONG created;
};

// Holds a RecursiveLock for its scope. A lock that is not usable is not
// taken, and nothing is released.
class LockHold {
public:
    explicit LockHold(RecursiveLock& l) : lock(l), held(l.created != 0) {
        if (held) EnterCriticalSection(&lock.section);
    }
    ~LockHold() {
        if (held) LeaveCriticalSection(&lock.section);
    }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

private:
    RecursiveLock& lock;
    bool held;
};
