// Fuzz target for toolkit/TextBuffer.h: text buffers of the three kinds, the
// text list, decimal conversion and pattern search.
//
// The first input byte picks a scenario, the rest drives it. Every buffer
// operation is mirrored on a std::string model written from the documented
// contract, and after each one the buffer must equal the model and keep its
// invariants: 0 <= length <= capacity, storage[length] == 0, no zero byte
// before it. Storage and tables are heap blocks of exactly the documented
// size, so AddressSanitizer sees any write or read past them.

#include "toolkit/TextBuffer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* check, int line, const std::string& detail) {
    std::fprintf(stderr, "FuzzTextBuffer.cpp:%d: check failed: %s\n%s\n", line, check, detail.c_str());
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                  \
    do {                                          \
        if (!(cond)) Fail(#cond, __LINE__, detail); \
    } while (0)

// Reads the fuzz input front to back; past the end every byte reads as 0.
class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

    bool Done() const { return p_ == end_; }
    uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }

    int32_t Int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return static_cast<int32_t>(v);
    }

    // A count or position for operations that accept any value: mostly near
    // the capacities in use, sometimes negative or at the extremes.
    int32_t Count() {
        uint8_t kind = Byte();
        if (kind < 224) return static_cast<int32_t>(Byte()) + ((kind & 1) ? 256 : 0) - 4;
        switch (kind & 3) {
            case 0: return INT32_MIN;
            case 1: return INT32_MAX;
            case 2: return -1 - static_cast<int32_t>(Byte());
            default: return Int32();
        }
    }

    // 0 .. limit, for operations whose contract covers only such values.
    int32_t Upto(int32_t limit) {
        uint32_t v = (static_cast<uint32_t>(Byte()) << 8) | Byte();
        return static_cast<int32_t>(v % static_cast<uint32_t>(limit + 1));
    }

    // Raw bytes, zeros included: up to ~1.5 KB.
    std::string Bytes() {
        size_t n = Byte();
        if (n >= 250) n = (n - 250) * 256 + Byte();
        std::string s;
        while (n-- > 0 && p_ < end_) s.push_back(static_cast<char>(*p_++));
        return s;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// What a C-string argument made from `raw` holds: the bytes before its first zero.
std::string CText(const std::string& raw) { return std::string(raw.c_str()); }

std::string Cut(const std::string& s, int32_t cap) {
    return s.size() > static_cast<size_t>(cap) ? s.substr(0, static_cast<size_t>(cap)) : s;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t first = 0;
    while (first < s.size() && s[first] == ' ') ++first;
    return s.substr(first);
}

std::string Left(const std::string& src, int32_t n) {
    if (n <= 0) return std::string();
    return src.substr(0, std::min(src.size(), static_cast<size_t>(n)));
}

std::string Decimal(int32_t v) { return std::to_string(static_cast<long long>(v)); }

std::string Show(const std::string& s) {
    std::string out = "\"";
    char hex[8];
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\" (" + std::to_string(s.size()) + " bytes)";
}

// --- The heap behind HeapText and the text list -----------------------------

// Counts blocks, remembers the last size asked for, and fails an allocation
// on request: failIn = k makes the k-th allocation from now return null.
struct FuzzHeap {
    int outstanding = 0;
    size_t lastSize = 0;
    int failIn = 0;
    bool injected = false;  // an allocation was failed since the last Arm
    void Arm(int k) {
        failIn = k;
        injected = false;
    }
};
FuzzHeap g_heap;

void* FuzzAllocate(size_t bytes) {
    g_heap.lastSize = bytes;
    if (g_heap.failIn > 0 && --g_heap.failIn == 0) {
        g_heap.injected = true;
        return nullptr;
    }
    void* block = std::malloc(bytes);
    if (block != nullptr) ++g_heap.outstanding;
    return block;
}

void FuzzRelease(void* block) {
    if (block != nullptr) --g_heap.outstanding;
    std::free(block);
}

class HeapScope {
public:
    HeapScope() : previous_(SetTextHeap(TextHeap{FuzzAllocate, FuzzRelease})) { g_heap = FuzzHeap(); }
    ~HeapScope() { SetTextHeap(previous_); }

private:
    TextHeap previous_;
};

// --- Buffers ------------------------------------------------------------------

void CheckBuffer(const TextBuffer& b, const std::string& model, int32_t cap, const char* op) {
    std::string detail = std::string("after ") + op + ": model " + Show(model) + ", buffer length " +
                         std::to_string(b.length) + " capacity " + std::to_string(b.capacity);
    FUZZ_CHECK(b.capacity == cap, detail);
    FUZZ_CHECK(b.length >= 0 && b.length <= b.capacity, detail);
    FUZZ_CHECK(b.storage[b.length] == 0, detail);
    FUZZ_CHECK(std::strlen(b.storage) == static_cast<size_t>(b.length), detail);
    FUZZ_CHECK(std::string(b.storage, static_cast<size_t>(b.length)) == model,
               detail + ", buffer " + Show(std::string(b.storage, static_cast<size_t>(b.length))));
    FUZZ_CHECK(b.Text() == b.storage && b.Length() == b.length && b.Capacity() == b.capacity &&
                   b.Empty() == (b.length == 0),
               detail);
}

enum class Kind { Over, Fixed, Heap };

// Applies one operation to `b` and to the model, then compares them. `kind`
// enables the operations particular to each kind of buffer; for a TextOver,
// overArray is its array of overArrayCap + 1 bytes.
void BufferStep(Input& in, TextBuffer& b, Kind kind, std::string& model, int32_t& cap, char* overArray,
                int32_t overArrayCap) {
    uint8_t op = in.Byte() % 17;
    const char* name = "?";
    switch (op) {
        case 0: {
            std::string src = in.Bytes();
            FUZZ_CHECK(&b.Assign(src.c_str()) == &b, "Assign returns the buffer");
            model = Cut(CText(src), cap);
            name = "Assign";
            break;
        }
        case 1: {
            std::string src = in.Bytes();
            FUZZ_CHECK(&b.Append(src.c_str()) == &b, "Append returns the buffer");
            model = Cut(model + CText(src), cap);
            name = "Append";
            break;
        }
        case 2: {
            std::string src = in.Bytes();
            b.AssignUpper(src.c_str());
            model = Upper(Cut(CText(src), cap));
            name = "AssignUpper";
            break;
        }
        case 3:
            b.MakeUpper();
            model = Upper(model);
            name = "MakeUpper";
            break;
        case 4: {
            std::string src = CText(in.Bytes());
            int32_t n = in.Count();
            b.AssignLeft(src.c_str(), n);
            model = Cut(Left(src, n), cap);
            name = "AssignLeft";
            break;
        }
        case 5: {
            std::string src = CText(in.Bytes());
            int32_t start = in.Count();
            int32_t n = in.Count();
            b.AssignMid(src.c_str(), start, n);
            std::string rest = start <= 0 ? src
                               : static_cast<size_t>(start) >= src.size() ? std::string()
                                                                          : src.substr(static_cast<size_t>(start));
            model = Cut(Left(rest, n), cap);
            name = "AssignMid";
            break;
        }
        case 6: {
            std::string src = CText(in.Bytes());
            int32_t n = in.Count();
            b.AssignRight(src.c_str(), n);
            if (n <= 0) {
                model.clear();
            } else {
                size_t from = src.size() > static_cast<size_t>(n) ? src.size() - static_cast<size_t>(n) : 0;
                model = Cut(src.substr(from, static_cast<size_t>(n)), cap);
            }
            name = "AssignRight";
            break;
        }
        case 7:
            b.Trim();
            model = Trimmed(model);
            name = "Trim";
            break;
        case 8: {
            int32_t n = in.Count();
            b.Truncate(n);
            if (n >= 0 && static_cast<size_t>(n) < model.size()) model.resize(static_cast<size_t>(n));
            name = "Truncate";
            break;
        }
        case 9:
        case 10: {
            // 9: Resize over the storage as the operations left it. 10: first
            // write raw bytes into the storage the way a platform call does
            // (anywhere in its capacity + 1 bytes, zeros included, maybe no
            // terminator at all), then Resize or Recount.
            if (op == 10) {
                std::string raw = in.Bytes();
                size_t at = static_cast<size_t>(in.Upto(cap));
                size_t n = std::min(raw.size(), static_cast<size_t>(cap) + 1 - at);
                std::memcpy(b.storage + at, raw.data(), n);
            }
            std::string snap(b.storage, static_cast<size_t>(cap) + 1);
            int32_t n = in.Count();
            char pad = static_cast<char>(in.Byte());
            if (op == 10 && (in.Byte() & 1)) {
                n = -1;
                pad = 0;
                b.Recount();
                name = "raw write + Recount";
            } else {
                b.Resize(n, pad);
                name = op == 10 ? "raw write + Resize" : "Resize";
            }
            if (n < 0 || n > cap) {
                snap[static_cast<size_t>(cap)] = 0;
                model = std::string(snap.c_str());
            } else {
                size_t keep = 0;
                while (keep < static_cast<size_t>(n) && snap[keep] != 0) ++keep;
                model = snap.substr(0, keep) + std::string(static_cast<size_t>(n) - keep, pad == 0 ? ' ' : pad);
            }
            break;
        }
        case 11: {
            int32_t pos = in.Upto(600);
            int32_t count = in.Upto(600);
            b.Erase(pos, count);
            size_t len = model.size();
            if (static_cast<size_t>(pos) < len) {
                if (static_cast<size_t>(pos) + static_cast<size_t>(count) >= len)
                    model.resize(static_cast<size_t>(pos));
                else
                    model.erase(static_cast<size_t>(pos), static_cast<size_t>(count));
            }
            name = "Erase";
            break;
        }
        case 12: {
            int32_t v = in.Int32();
            b.AppendDecimal(v);
            if (model.size() < static_cast<size_t>(cap)) model += Cut(Decimal(v), cap - static_cast<int32_t>(model.size()));
            name = "AppendDecimal";
            break;
        }
        case 13:
            b.TrimAndUnquote();
            model = Trimmed(model);
            if (!model.empty() && model.front() == '"') model.erase(0, 1);
            if (!model.empty() && model.back() == '"') model.pop_back();
            name = "TrimAndUnquote";
            break;
        case 14: {
            // Assign from the buffer's own tail: source and storage overlap.
            int32_t from = in.Upto(b.length);
            b.Assign(b.storage + from);
            model = model.substr(static_cast<size_t>(from));
            name = "Assign own tail";
            break;
        }
        case 15:
        case 16:
            if (kind == Kind::Over) {
                // Set up again over the same array, maybe with a smaller capacity.
                std::string src = in.Bytes();
                int32_t newCap = in.Upto(overArrayCap);
                b.InitOverWith(overArray, newCap, src.c_str());
                cap = newCap;
                model = Cut(CText(src), cap);
                name = "InitOverWith";
            } else if (kind == Kind::Fixed) {
                // Copy from another buffer, whose capacity may exceed a FixedText.
                std::string src = in.Bytes();
                int32_t otherCap = in.Upto(600);
                std::unique_ptr<char[]> array(new char[static_cast<size_t>(otherCap) + 1]);
                TextOver other(array.get(), otherCap, src.c_str());
                FixedText& fixed = static_cast<FixedText&>(b);
                if (op == 15) {
                    FUZZ_CHECK(&CopyToFixed(fixed, other) == &fixed, "CopyToFixed returns its target");
                    name = "CopyToFixed";
                } else {
                    fixed.CopyFrom(other);
                    name = "CopyFrom";
                }
                model = Cut(Cut(CText(src), otherCap), kFixedTextBytes);
            } else {
                HeapText& heap = static_cast<HeapText&>(b);
                switch (in.Byte() % 4) {
                    case 0: {
                        int32_t n = in.Upto(1030) - 4;
                        heap.Reserve(n);
                        bool got = n > 0 && !g_heap.injected;
                        cap = got ? n - 1 : 1;
                        model.clear();
                        FUZZ_CHECK(heap.OnHeap() == got, "Reserve(" + std::to_string(n) + ") placement");
                        if (got) FUZZ_CHECK(g_heap.lastSize == static_cast<size_t>(n), "Reserve asks for exactly n bytes");
                        name = "Reserve";
                        break;
                    }
                    case 1:
                        heap.FreeStorage();
                        cap = 1;
                        model.clear();
                        FUZZ_CHECK(!heap.OnHeap(), "FreeStorage returns to the inline store");
                        name = "FreeStorage";
                        break;
                    case 2: {
                        std::string src = CText(in.Bytes());
                        heap.AssignExact(src.c_str());
                        if (g_heap.injected) {
                            cap = 1;
                            model = Cut(src, 1);
                            FUZZ_CHECK(!heap.OnHeap(), "AssignExact without memory stays inline");
                        } else {
                            cap = static_cast<int32_t>(src.size());
                            model = src;
                            FUZZ_CHECK(heap.OnHeap(), "AssignExact moves to the heap");
                        }
                        name = "AssignExact";
                        break;
                    }
                    default:
                        g_heap.Arm(in.Byte() % 3);
                        name = "arm allocation failure";
                        break;
                }
                if (std::strcmp(name, "arm allocation failure") != 0) g_heap.Arm(0);
            }
            break;
    }
    CheckBuffer(b, model, cap, name);
}

void BufferScenario(Input& in) {
    HeapScope heapScope;
    const int kMaxSteps = 64;
    switch (in.Byte() % 3) {
        case 0: {
            int32_t cap = in.Upto(511);
            std::unique_ptr<char[]> array(new char[static_cast<size_t>(cap) + 1]);
            std::memset(array.get(), in.Byte(), static_cast<size_t>(cap) + 1);
            TextOver b(array.get(), cap);
            std::string model;
            CheckBuffer(b, model, cap, "TextOver");
            for (int i = 0; i < kMaxSteps && !in.Done(); ++i)
                BufferStep(in, b, Kind::Over, model, cap, array.get(), static_cast<int32_t>(cap));
            break;
        }
        case 1: {
            std::string src = in.Bytes();
            FixedText b(src.c_str());
            int32_t cap = kFixedTextBytes;
            std::string model = Cut(CText(src), cap);
            CheckBuffer(b, model, cap, "FixedText");
            for (int i = 0; i < kMaxSteps && !in.Done(); ++i)
                BufferStep(in, b, Kind::Fixed, model, cap, nullptr, 0);
            break;
        }
        default: {
            {
                HeapText b;
                int32_t cap = 1;
                std::string model;
                CheckBuffer(b, model, cap, "HeapText");
                for (int i = 0; i < kMaxSteps && !in.Done(); ++i)
                    BufferStep(in, b, Kind::Heap, model, cap, nullptr, 0);
            }
            FUZZ_CHECK(g_heap.outstanding == 0, "HeapText gave back every block");
            break;
        }
    }
}

// --- The text list ------------------------------------------------------------

// Whether a node creation that returned `created` kept its promise: a node
// whenever every allocation succeeded; null whenever a failed allocation would
// leave the node with a cut text. A text of 0 or 1 bytes fits the inline store
// of capacity 1, so without its block the node may still come back whole.
bool CreationKeptPromise(bool created, const std::string& src) {
    if (!g_heap.injected) return created;
    return !created || src.size() <= 1;
}

void ListScenario(Input& in) {
    HeapScope heapScope;
    TextListNode* head = nullptr;
    struct Pushed {
        std::string text;
        bool clean;  // pushed without a failed allocation: exactly sized
    };
    std::vector<Pushed> pushed;  // in insertion order
    for (int i = 0; i < 32 && !in.Done(); ++i) {
        std::string src = CText(in.Bytes());
        g_heap.Arm(in.Byte() % 4);
        if (in.Byte() & 1) {
            int ok = PushText(&head, src.c_str());
            FUZZ_CHECK(CreationKeptPromise(ok != 0, src),
                       "PushText(" + Show(src) + ") = " + std::to_string(ok) + ", allocation failed: " +
                           std::to_string(g_heap.injected));
            if (ok != 0) pushed.push_back({src, !g_heap.injected});
        } else {
            TextListNode* node = TextListNode::Create(src.c_str());
            FUZZ_CHECK(CreationKeptPromise(node != nullptr, src),
                       "Create(" + Show(src) + "), allocation failed: " + std::to_string(g_heap.injected));
            if (node != nullptr) {
                FUZZ_CHECK(std::string(node->text.Text()) == src, "Create holds the whole text");
                if (!g_heap.injected)
                    FUZZ_CHECK(node->text.Capacity() == static_cast<int32_t>(src.size()) && node->text.OnHeap(),
                               "Create sizes the text exactly");
                TextListNode::Destroy(node);
            }
        }
        g_heap.Arm(0);
        // The list holds the texts in reverse order of insertion, whole, and
        // (when memory did not fail) each on a heap block of exactly its
        // length + 1.
        size_t k = pushed.size();
        for (TextListNode* n = head; n != nullptr; n = n->next) {
            FUZZ_CHECK(k > 0, "list longer than the texts pushed");
            --k;
            FUZZ_CHECK(std::string(n->text.Text()) == pushed[k].text,
                       "list text " + Show(n->text.Text()) + " vs " + Show(pushed[k].text));
            if (pushed[k].clean)
                FUZZ_CHECK(n->text.Capacity() == static_cast<int32_t>(pushed[k].text.size()) && n->text.OnHeap(),
                           "list text exactly sized on the heap");
        }
        FUZZ_CHECK(k == 0, "list shorter than the texts pushed");
    }
    FreeTextList(&head);
    FUZZ_CHECK(head == nullptr, "FreeTextList leaves the head null");
    FUZZ_CHECK(g_heap.outstanding == 0, "the list gave back every block");
}

// --- Decimal conversion -------------------------------------------------------

void DecimalScenario(Input& in) {
    // Formatting: the whole text with room for it, its leading characters
    // without; nothing written when size <= 0. Then the round trip.
    int32_t v = in.Int32();
    std::string full = Decimal(v);
    char out[16];
    int written = FormatDecimal(v, out, static_cast<int>(sizeof out));
    FUZZ_CHECK(written == static_cast<int>(full.size()) + 1 && full == out, "FormatDecimal(" + full + ") gave " + Show(out));
    int end = 7;
    FUZZ_CHECK(ParseDecimal(out, &end) == v && end == -1, "round trip of " + full);

    int size = static_cast<int>(in.Byte() % 16) - 2;
    if (size <= 0) {
        char guard = 0x55;
        FUZZ_CHECK(FormatDecimal(v, &guard, size) == 0 && guard == 0x55, "size <= 0 writes nothing");
    } else {
        std::unique_ptr<char[]> small(new char[static_cast<size_t>(size)]);
        std::memset(small.get(), 0x55, static_cast<size_t>(size));
        size_t n = std::min(full.size(), static_cast<size_t>(size - 1));
        int r = FormatDecimal(v, small.get(), size);
        FUZZ_CHECK(r == static_cast<int>(n) + 1 && small[n] == 0 && full.compare(0, n, small.get()) == 0,
                   "FormatDecimal(" + full + ", size " + std::to_string(size) + ") gave " + Show(std::string(small.get(), n)));
    }

    // Parsing against the documented scan: arbitrary text, or a number near
    // the ends of the 32-bit range followed by arbitrary text.
    std::string text;
    if (in.Byte() & 1) {
        long long edge = (in.Byte() & 1) ? INT32_MAX : INT32_MIN;
        edge += static_cast<int8_t>(in.Byte());
        text = ((edge >= 0 && (in.Byte() & 1)) ? "+" : "") + std::to_string(edge) + CText(in.Bytes());
    } else {
        text = CText(in.Bytes());
    }
    long long expect = 0;
    size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        long long next = expect * 10 + (negative ? -(text[i] - '0') : (text[i] - '0'));
        if (next < INT32_MIN || next > INT32_MAX) break;
        expect = next;
    }
    int expectEnd = i == text.size() ? -1 : static_cast<int>(i);
    end = 7;
    int32_t got = ParseDecimal(text.c_str(), &end);
    FUZZ_CHECK(got == expect && end == expectEnd, "ParseDecimal(" + Show(text) + ") = " + std::to_string(got) + ", end " +
                                                      std::to_string(end));
    FUZZ_CHECK(ParseDecimal(text.c_str(), nullptr) == got, "ParseDecimal without end");
}

// --- Pattern search -----------------------------------------------------------

// Length of the longest proper prefix of p[0..i) that is also its suffix.
size_t Border(const std::string& p, size_t i) {
    for (size_t k = i - 1; k > 0; --k)
        if (p.compare(0, k, p, i - k, k) == 0) return k;
    return 0;
}

void PatternScenario(Input& in) {
    // Patterns of any length, also repeated units well past the 255 bytes
    // that take part; texts that often hold the pattern or a near miss of it.
    std::string pattern = CText(in.Bytes());
    if (in.Byte() & 1) {
        std::string unit = pattern;
        for (int reps = in.Byte(); reps > 0 && pattern.size() < 600; --reps) pattern += unit;
    }
    std::string text = CText(in.Bytes());
    switch (in.Byte() % 3) {
        case 0:
            break;
        case 1:
            text += pattern + CText(in.Bytes());
            break;
        default: {
            std::string nearMiss = pattern;
            if (!nearMiss.empty()) {
                size_t at = static_cast<size_t>(in.Upto(static_cast<int32_t>(nearMiss.size()) - 1));
                nearMiss[at] = static_cast<char>(nearMiss[at] == 'x' ? 'y' : 'x');
            }
            text += nearMiss + CText(in.Bytes());
            break;
        }
    }

    std::unique_ptr<unsigned char[]> table(new unsigned char[kMatchTableSize]);
    unsigned char fill = in.Byte();
    std::memset(table.get(), fill, kMatchTableSize);
    BuildMatchTable(pattern.c_str(), table.get());

    size_t used = std::min(pattern.size(), static_cast<size_t>(kMatchTableSize));
    for (size_t i = used; i < static_cast<size_t>(kMatchTableSize); ++i)
        FUZZ_CHECK(table[i] == fill, "BuildMatchTable wrote entry " + std::to_string(i) + " of a " +
                                         std::to_string(pattern.size()) + "-byte pattern");
    if (used > 0) FUZZ_CHECK(table[0] == 0xFF, "table[0] is -1");
    if (used <= 64) {
        for (size_t i = 1; i < used; ++i)
            FUZZ_CHECK(table[i] == Border(pattern, i), "table[" + std::to_string(i) + "] of " + Show(pattern));
    }

    std::string needle = pattern.substr(0, used);
    size_t at = text.find(needle);
    int expect = at == std::string::npos ? -1 : static_cast<int>(at);
    int expectCount = at == std::string::npos ? static_cast<int>(text.size()) : static_cast<int>(needle.size());
    int count = -7;
    int got = FindPattern(pattern.c_str(), text.c_str(), table.get(), &count);
    FUZZ_CHECK(got == expect && count == expectCount,
               "FindPattern(" + Show(pattern) + " in " + Show(text) + ") = " + std::to_string(got) + ", count " +
                   std::to_string(count) + "; expected " + std::to_string(expect) + ", count " + std::to_string(expectCount));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.Byte() % 4) {
        case 0: BufferScenario(in); break;
        case 1: ListScenario(in); break;
        case 2: DecimalScenario(in); break;
        default: PatternScenario(in); break;
    }
    return 0;
}
