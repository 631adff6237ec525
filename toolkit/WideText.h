// UTF-16 texts: the selected file names and the command line that starts an
// action, which must carry every character of a name, also the ones the
// system's ANSI code page lacks.
//
// A WideBuffer has the shape of a TextBuffer (length, capacity, storage of
// capacity + 1 units) and the same contract: appends never fail and cut at
// the capacity. Units are char16_t, the platform's WCHAR on Windows, so a
// buffer's storage is handed to the wide platform calls as it is.
//
// Platform-free: this header and its source include no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/TextBuffer.h"

// Number of units before the terminator.
int32_t WideLength(const char16_t* text);

struct WideBuffer {
    int32_t length;     // units of text, without the terminator
    int32_t capacity;   // largest length the storage can take
    char16_t* storage;  // capacity + 1 units; storage[length] == 0

    const char16_t* Text() const { return storage; }
    int32_t Length() const { return length; }
    int32_t Capacity() const { return capacity; }
    bool Empty() const { return length == 0; }

    WideBuffer& Clear();
    // The first `count` units of `source` (or up to its terminator when
    // count < 0) behind the current text; cut at the capacity.
    WideBuffer& Append(const char16_t* source, int32_t count = -1);
    // ASCII (bytes below 0x80) widened one to one; other bytes become U+FFFD.
    WideBuffer& AppendAscii(const char* source);
    WideBuffer& AppendDecimal(int64_t value);
    // Removes the last `count` units (all of them when count >= length).
    WideBuffer& DropLast(int32_t count);

protected:
    WideBuffer() = default;
    WideBuffer(const WideBuffer&) = delete;
    WideBuffer& operator=(const WideBuffer&) = delete;
};

// A buffer over caller storage of capacity + 1 units; owns nothing.
class WideOver : public WideBuffer {
public:
    WideOver(char16_t* array, int32_t cap);
};

// Inline storage for `Units` units and the terminator; allocates nothing.
// The default holds the UTF-16 form of any FixedText whole: a UTF-8 text
// never takes more units than bytes.
template <int32_t Units = kFixedTextBytes>
class FixedWide : public WideOver {
public:
    FixedWide() : WideOver(inlineStore, Units) {}

private:
    char16_t inlineStore[Units + 1];
};

// Starts empty with capacity 0 on an inline terminator; Reserve(n) moves it
// to a heap block of n units (capacity n - 1) from the text heap
// (toolkit/TextBuffer.h), so allocation failure can be injected.
class HeapWide : public WideBuffer {
public:
    HeapWide();
    ~HeapWide() { FreeStorage(); }
    // FreeStorage; then an empty text on a new block of n units when n > 0
    // and the block can be had. Returns false (and stays empty with capacity
    // 0) when it cannot.
    bool Reserve(int32_t n);
    // Gives a reserved block back; the text is empty with capacity 0.
    void FreeStorage();
    // Reserve(length + 1) and Append: exactly sized. False when the block
    // cannot be had (then empty).
    bool AssignExact(const char16_t* source, int32_t length);
    bool OnHeap() const { return storage != &inlineStore; }

private:
    char16_t inlineStore;
};

// One element of a singly linked list of UTF-16 texts, pushed at the head.
struct WideTextNode {
    WideTextNode* next;  // next node; null at the end
    HeapWide text;       // exactly sized

    // Allocates a node holding the `length` units of `source`; null when the
    // node or its text cannot be had (never a node with a cut text).
    static WideTextNode* Create(const char16_t* source, int32_t length);
    static void Destroy(WideTextNode* node);
};

// Creates a node and pushes it at the head; 0 when it could not be
// allocated (the list is unchanged).
int PushWide(WideTextNode** head, const char16_t* source, int32_t length);
// Destroys the list head first and leaves *head null.
void FreeWideList(WideTextNode** head);
