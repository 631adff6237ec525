#include "toolkit/TextBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

TextHeap g_heap = {std::malloc, std::free};

char UpperByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of the source, but never more than `limit` bytes looked at.
int32_t BoundedLength(const char* source, int32_t limit) {
    int32_t n = 0;
    while (n < limit && source[n] != 0) ++n;
    return n;
}

}  // namespace

TextHeap SetTextHeap(TextHeap heap) {
    TextHeap previous = g_heap;
    g_heap = heap;
    return previous;
}

void* TextHeapAllocate(size_t bytes) { return g_heap.allocate(bytes); }
void TextHeapRelease(void* block) { g_heap.release(block); }

// --- Set-up -----------------------------------------------------------------

TextBuffer& TextBuffer::InitOver(char* array, int32_t cap) {
    storage = array;
    capacity = cap < 0 ? 0 : cap;
    length = 0;
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::InitOverWith(char* array, int32_t cap, const char* source) {
    return InitOver(array, cap).Assign(source);
}

FixedText& CopyToFixed(FixedText& target, const TextBuffer& other) {
    target.CopyFrom(other);
    return target;
}

// --- Operations ---------------------------------------------------------------

TextBuffer& TextBuffer::Assign(const char* source) {
    // The source may overlap the storage (assigning a buffer's own tail);
    // memmove keeps that safe.
    int32_t n = BoundedLength(source, capacity);
    std::memmove(storage, source, static_cast<size_t>(n));
    length = n;
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::Append(const char* source) {
    int32_t n = BoundedLength(source, capacity - length);
    std::memmove(storage + length, source, static_cast<size_t>(n));
    length += n;
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::AssignUpper(const char* source) { return Assign(source).MakeUpper(); }

TextBuffer& TextBuffer::MakeUpper() {
    for (int32_t i = 0; i < length; ++i) storage[i] = UpperByte(storage[i]);
    return *this;
}

TextBuffer& TextBuffer::AssignLeft(const char* source, int32_t n) {
    if (n <= 0) {
        length = 0;
        Terminate();
        return *this;
    }
    int32_t take = BoundedLength(source, n < capacity ? n : capacity);
    std::memmove(storage, source, static_cast<size_t>(take));
    length = take;
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::AssignMid(const char* source, int32_t start, int32_t n) {
    int32_t skip = start <= 0 ? 0 : BoundedLength(source, start);
    return AssignLeft(source + skip, n);
}

TextBuffer& TextBuffer::AssignRight(const char* source, int32_t n) {
    if (n <= 0) return AssignLeft(source, 0);
    size_t total = std::strlen(source);
    size_t from = total > static_cast<size_t>(n) ? total - static_cast<size_t>(n) : 0;
    return AssignLeft(source + from, n);
}

TextBuffer& TextBuffer::Trim() {
    while (length > 0 && storage[length - 1] == ' ') --length;
    int32_t lead = 0;
    while (lead < length && storage[lead] == ' ') ++lead;
    if (lead > 0) {
        std::memmove(storage, storage + lead, static_cast<size_t>(length - lead));
        length -= lead;
    }
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::Truncate(int32_t n) {
    if (n >= 0 && n < length) {
        length = n;
        Terminate();
    }
    return *this;
}

TextBuffer& TextBuffer::Resize(int32_t n, char pad) {
    if (n < 0 || n > capacity) {
        storage[capacity] = 0;
        length = static_cast<int32_t>(std::strlen(storage));
        return *this;
    }
    int32_t kept = BoundedLength(storage, n);
    char fill = pad == 0 ? ' ' : pad;
    for (int32_t i = kept; i < n; ++i) storage[i] = fill;
    length = n;
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::Erase(int32_t pos, int32_t count) {
    if (pos < 0 || pos >= length || count <= 0) return *this;
    if (count >= length - pos) {
        length = pos;
    } else {
        std::memmove(storage + pos, storage + pos + count, static_cast<size_t>(length - pos - count));
        length -= count;
    }
    Terminate();
    return *this;
}

TextBuffer& TextBuffer::AppendDecimal(int32_t value) {
    if (length >= capacity) return *this;
    int written = FormatDecimal(value, storage + length, capacity - length + 1);
    length += written - 1;
    Terminate();
    return *this;
}

void TextBuffer::TrimAndUnquote() {
    Trim();
    if (length > 0 && storage[0] == '"') Erase(0, 1);
    if (length > 0 && storage[length - 1] == '"') Truncate(length - 1);
}

// --- HeapText -----------------------------------------------------------------

HeapText& HeapText::Reserve(int32_t n) {
    FreeStorage();
    if (n <= 0) return *this;
    char* block = static_cast<char*>(TextHeapAllocate(static_cast<size_t>(n)));
    if (block == nullptr) return *this;
    InitOver(block, n - 1);
    return *this;
}

HeapText& HeapText::FreeStorage() {
    if (storage != inlineStore) TextHeapRelease(storage);
    InitOver(inlineStore, 1);
    return *this;
}

HeapText& HeapText::AssignExact(const char* source) {
    size_t n = std::strlen(source);
    if (n >= static_cast<size_t>(INT32_MAX)) n = INT32_MAX - 1;
    Reserve(static_cast<int32_t>(n + 1));
    Assign(source);
    return *this;
}

// --- TextListNode -------------------------------------------------------------

TextListNode* TextListNode::Create(const char* source) {
    void* raw = TextHeapAllocate(sizeof(TextListNode));
    if (raw == nullptr) return nullptr;
    TextListNode* node = new (raw) TextListNode;
    node->next = nullptr;
    size_t n = std::strlen(source);
    node->text.AssignExact(source);
    if (static_cast<size_t>(node->text.Length()) != n) {
        Destroy(node);
        return nullptr;
    }
    return node;
}

void TextListNode::Destroy(TextListNode* node) {
    if (node == nullptr) return;
    node->~TextListNode();
    TextHeapRelease(node);
}

int PushText(TextListNode** head, const char* source) {
    TextListNode* node = TextListNode::Create(source);
    if (node == nullptr) return 0;
    node->next = *head;
    *head = node;
    return 1;
}

void FreeTextList(TextListNode** head) {
    while (*head != nullptr) {
        TextListNode* node = *head;
        *head = node->next;
        TextListNode::Destroy(node);
    }
}

// --- Decimal conversion ---------------------------------------------------------

int FormatDecimal(int32_t value, char* out, int size) {
    if (size <= 0) return 0;
    if (value == INT32_MIN) {
        static const char kMin[] = "-2147483648";
        int n = 0;
        while (n < size - 1 && kMin[n] != 0) {
            out[n] = kMin[n];
            ++n;
        }
        out[n] = 0;
        return n + 1;
    }
    int written = 0;
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        if (size == 1) {
            out[0] = 0;
            return 1;
        }
        out[written++] = '-';
        magnitude = static_cast<uint32_t>(-value);
    }
    uint32_t divisor = 1000000000u;
    while (divisor > magnitude && divisor > 1) divisor /= 10;
    while (written < size - 1 && divisor > 0) {
        out[written++] = static_cast<char>('0' + magnitude / divisor);
        magnitude %= divisor;
        divisor /= 10;
    }
    out[written] = 0;
    return written + 1;
}

int32_t ParseDecimal(const char* text, int* end) {
    int i = 0;
    bool negative = false;
    if (text[0] == '-') {
        negative = true;
        i = 1;
    } else if (text[0] == '+') {
        i = 1;
    }
    int32_t value = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        int32_t digit = text[i] - '0';
        if (negative) {
            if (value < (INT32_MIN + digit) / 10) break;
            value = value * 10 - digit;
        } else {
            if (value > (INT32_MAX - digit) / 10) break;
            value = value * 10 + digit;
        }
        ++i;
    }
    if (end != nullptr) *end = text[i] == 0 ? -1 : i;
    return value;
}

// --- Pattern search -------------------------------------------------------------

void BuildMatchTable(const char* pattern, unsigned char* table) {
    if (pattern[0] == 0) return;
    table[0] = 0xFF;
    for (int i = 1; pattern[i] != 0 && i < kMatchTableSize; ++i) {
        unsigned char k = table[i - 1];
        while (k != 0xFF && pattern[k] != pattern[i - 1]) k = table[k];
        table[i] = static_cast<unsigned char>(k + 1);
    }
}

int FindPattern(const char* pattern, const char* text, const unsigned char* table, int* count) {
    int i = 0;
    int j = 0;
    auto complete = [&] { return j == kMatchTableSize || pattern[j] == 0; };
    while (text[i] != 0) {
        if (complete()) break;
        if (text[i] == pattern[j]) {
            ++i;
            ++j;
        } else if (table[j] == 0xFF) {
            ++i;
            j = 0;
        } else {
            j = table[j];
        }
    }
    if (complete()) {
        *count = j;
        return i - j;
    }
    *count = i;
    return -1;
}
