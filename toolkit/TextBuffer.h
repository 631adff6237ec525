// Counted, zero-terminated byte strings with a fixed capacity.
//
// Every text of both deliverables lives in a TextBuffer, in UTF-8 (see
// toolkit/Utf8.h). No operation fails and none grows the storage by itself:
// a text that does not fit is cut at the capacity, silently. Lengths,
// capacities and positions count bytes.
//
// Invariants after every operation: 0 <= length <= capacity,
// storage[length] == 0, and no zero byte before it.
//
// Platform-free: this header and its source include no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

// The platform's path limit in UTF-16 units, terminator included (MAX_PATH).
constexpr int32_t kPathUnitLimit = 260;
// Capacity of a FixedText: the UTF-8 bytes of the longest path, 259 units of
// at most three bytes each (a pair of units is one four-byte character), so
// no path the platform hands over is ever cut.
constexpr int32_t kFixedTextBytes = 3 * (kPathUnitLimit - 1);

// The three fields, in this order, are the whole state of a text. The storage
// holds capacity + 1 bytes, so there is always room for the terminator.
struct TextBuffer {
    int32_t length;    // bytes of text, without the terminator
    int32_t capacity;  // largest length the storage can take
    char* storage;     // capacity + 1 bytes; storage[length] == 0

    const char* Text() const { return storage; }
    int32_t Length() const { return length; }
    int32_t Capacity() const { return capacity; }
    bool Empty() const { return length == 0; }

    // Set up over a caller's array of capacity + 1 bytes; the text is empty.
    TextBuffer& InitOver(char* array, int32_t cap);
    // InitOver, then Assign(source).
    TextBuffer& InitOverWith(char* array, int32_t cap, const char* source);

    TextBuffer& Assign(const char* source);             // cut at capacity
    TextBuffer& Append(const char* source);             // cut at capacity; full stays full
    TextBuffer& AssignUpper(const char* source);        // Assign, a-z upper-cased
    TextBuffer& MakeUpper();                            // a-z upper-cased in place
    TextBuffer& AssignLeft(const char* source, int32_t n);             // first n bytes
    TextBuffer& AssignMid(const char* source, int32_t start, int32_t n);
    TextBuffer& AssignRight(const char* source, int32_t n);            // last n bytes
    TextBuffer& Trim();                                  // 0x20 only, both ends
    TextBuffer& Truncate(int32_t n);                     // only when 0 <= n < length
    // Takes the storage as a platform call left it: bytes before the first zero
    // (at most n) stay, the rest up to n - 1 get `pad` (0 means space), length = n.
    // n < 0 or n > capacity: terminate at capacity and recount instead.
    TextBuffer& Resize(int32_t n, char pad);
    TextBuffer& Erase(int32_t pos, int32_t count);
    TextBuffer& AppendDecimal(int32_t value);
    // Trim, then drop one leading and one trailing double quote, each
    // independently of the other. No second trim.
    void TrimAndUnquote();

    // Recounts the length from the first zero byte, after forcing a terminator
    // at the capacity. For text that a platform call wrote into the storage.
    TextBuffer& Recount() { return Resize(-1, 0); }

protected:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    void Terminate() { storage[length] = 0; }
};

// A buffer over caller storage: owns nothing, never reserved or released.
class TextOver : public TextBuffer {
public:
    TextOver(char* array, int32_t cap) { InitOver(array, cap); }
    TextOver(char* array, int32_t cap, const char* source) { InitOverWith(array, cap, source); }
};

// Inline storage for kFixedTextBytes and the terminator; allocates nothing.
class FixedText : public TextBuffer {
public:
    FixedText() { InitOver(inlineStore, kFixedTextBytes); }
    explicit FixedText(const char* source) { InitOverWith(inlineStore, kFixedTextBytes, source); }
    // The copy takes its own storage; a longer text is cut to the capacity.
    void CopyFrom(const TextBuffer& other) { Assign(other.storage); }

private:
    char inlineStore[kFixedTextBytes + 1];
};

// Sets up `target` on its own inline storage and copies other's text into it.
FixedText& CopyToFixed(FixedText& target, const TextBuffer& other);

// Starts empty with inline capacity 1; Reserve(n) moves it to a heap block of
// exactly n bytes (capacity n - 1). Owns the block; FreeStorage and the
// destructor give it back.
class HeapText : public TextBuffer {
public:
    HeapText() { InitOver(inlineStore, 1); }
    ~HeapText() { FreeStorage(); }

    // FreeStorage; then, when n > 0 and n bytes can be had, an empty text on a
    // new block of n bytes. Otherwise empty on the inline store, capacity 1.
    HeapText& Reserve(int32_t n);
    // Frees a reserved block (back to inline capacity 1); the text is empty.
    HeapText& FreeStorage();
    // Reserve(strlen(source) + 1) and Assign(source): exactly sized.
    HeapText& AssignExact(const char* source);

    bool OnHeap() const { return storage != inlineStore; }

private:
    char inlineStore[2];
};

// The heap behind HeapText::Reserve and TextListNode. Replaceable so that
// tests can make allocation fail; the default is malloc/free.
struct TextHeap {
    void* (*allocate)(size_t bytes);
    void (*release)(void* block);
};
TextHeap SetTextHeap(TextHeap heap);  // returns the previous heap
void* TextHeapAllocate(size_t bytes);
void TextHeapRelease(void* block);

// One element of a singly linked list of texts. Lists are built by pushing at
// the head, so they hold their texts in reverse order of insertion.
struct TextListNode {
    TextListNode* next;  // next node; null at the end
    HeapText text;       // reserved to exactly strlen(text) + 1

    // Allocates a node holding `source` exactly sized; null when the node
    // cannot be allocated. When the text block cannot be allocated either,
    // the node keeps the text only if the inline store holds it whole (the
    // empty text or one byte); otherwise it is freed again and null
    // returned, so no node ever holds a cut text.
    static TextListNode* Create(const char* source);
    // Frees the node with its text.
    static void Destroy(TextListNode* node);
};

// Creates a node for `source` and pushes it at the head; 0 when it could not
// be allocated (the list is unchanged).
int PushText(TextListNode** head, const char* source);
// Destroys the list head first and leaves *head null.
void FreeTextList(TextListNode** head);

// --- Free functions -------------------------------------------------------

// Writes the decimal text of `value` into out[size]. Returns the bytes written
// including the terminator; 0 when size <= 0 (nothing written). A number that
// does not fit keeps its leading characters.
int FormatDecimal(int32_t value, char* out, int size);

// Reads an optional sign and decimal digits from the very first byte (no
// blanks skipped). Stops at the first non-digit and before a digit that would
// leave the signed 32-bit range. *end (if given) is -1 when the whole text was
// consumed, else the index of the first byte not consumed.
int32_t ParseDecimal(const char* text, int* end);

// Prefix table of the Knuth-Morris-Pratt search, one byte per entry with 0xFF
// standing for -1; at most 255 entries. An empty pattern leaves it untouched.
constexpr int kMatchTableSize = 255;
void BuildMatchTable(const char* pattern, unsigned char* table);

// Start of the first occurrence of `pattern` in `text`, or -1. Only the first
// 255 bytes of the pattern take part. *count is the matched length when found,
// else the text's length. Linear in the text, no backtracking.
int FindPattern(const char* pattern, const char* text, const unsigned char* table, int* count);
