#include "toolkit/WideText.h"

#include <cstring>
#include <new>

#include "toolkit/TextBuffer.h"

int32_t WideLength(const char16_t* text) {
    int32_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

WideBuffer& WideBuffer::Clear() {
    length = 0;
    storage[0] = 0;
    return *this;
}

WideBuffer& WideBuffer::Append(const char16_t* source, int32_t count) {
    int32_t n = 0;
    while (length + n < capacity && (count < 0 || n < count) && source[n] != 0) {
        storage[length + n] = source[n];
        ++n;
    }
    length += n;
    storage[length] = 0;
    return *this;
}

WideBuffer& WideBuffer::AppendAscii(const char* source) {
    for (; *source != 0 && length < capacity; ++source) {
        const unsigned char byte = static_cast<unsigned char>(*source);
        storage[length++] = byte < 0x80 ? static_cast<char16_t>(byte) : u'\uFFFD';
    }
    storage[length] = 0;
    return *this;
}

WideBuffer& WideBuffer::AppendDecimal(int64_t value) {
    char digits[24];
    int n = 0;
    // Negated digit by digit so that the smallest value needs no special case.
    const bool negative = value < 0;
    do {
        const int digit = static_cast<int>(value % 10);
        digits[n++] = static_cast<char>('0' + (digit < 0 ? -digit : digit));
        value /= 10;
    } while (value != 0);
    if (negative) digits[n++] = '-';
    char text[24];
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    text[n] = 0;
    return AppendAscii(text);
}

WideBuffer& WideBuffer::DropLast(int32_t count) {
    length = count >= length ? 0 : length - (count > 0 ? count : 0);
    storage[length] = 0;
    return *this;
}

WideOver::WideOver(char16_t* array, int32_t cap) {
    storage = array;
    capacity = cap < 0 ? 0 : cap;
    Clear();
}

HeapWide::HeapWide() : inlineStore(0) {
    storage = &inlineStore;
    capacity = 0;
    length = 0;
}

bool HeapWide::Reserve(int32_t n) {
    FreeStorage();
    if (n <= 0) return false;
    void* block = TextHeapAllocate(static_cast<size_t>(n) * sizeof(char16_t));
    if (block == nullptr) return false;
    storage = static_cast<char16_t*>(block);
    capacity = n - 1;
    Clear();
    return true;
}

void HeapWide::FreeStorage() {
    if (OnHeap()) TextHeapRelease(storage);
    storage = &inlineStore;
    capacity = 0;
    Clear();
}

bool HeapWide::AssignExact(const char16_t* source, int32_t count) {
    if (count < 0 || count == INT32_MAX || !Reserve(count + 1)) return false;
    Append(source, count);
    return true;
}

WideTextNode* WideTextNode::Create(const char16_t* source, int32_t length) {
    void* raw = TextHeapAllocate(sizeof(WideTextNode));
    if (raw == nullptr) return nullptr;
    WideTextNode* node = new (raw) WideTextNode;
    node->next = nullptr;
    if (!node->text.AssignExact(source, length) || node->text.Length() != length) {
        Destroy(node);
        return nullptr;
    }
    return node;
}

void WideTextNode::Destroy(WideTextNode* node) {
    if (node == nullptr) return;
    node->~WideTextNode();
    TextHeapRelease(node);
}

int PushWide(WideTextNode** head, const char16_t* source, int32_t length) {
    WideTextNode* node = WideTextNode::Create(source, length);
    if (node == nullptr) return 0;
    node->next = *head;
    *head = node;
    return 1;
}

void FreeWideList(WideTextNode** head) {
    while (*head != nullptr) {
        WideTextNode* node = *head;
        *head = node->next;
        WideTextNode::Destroy(node);
    }
}
