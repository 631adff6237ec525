// Fuzz target for catalogue/GroupName.h and catalogue/ActionOrder.h: the
// group-name grammar with its type-list compilation, matching, and the order
// suffix.
//
// The input is split at its first zero byte: the part before is a group name
// (any bytes, upper-cased as the loader does), the part after a file path and
// a display-name suffix. Checks, besides what the sanitizers see:
//  - ParseGroupName writes nothing past its 520-byte buffer (a heap block of
//    exactly that size) and the list is terminated within it;
//  - the list of a TypeListGroup starts with ";." and ends with ";", and a
//    name of at most 260 bytes never fills the buffer;
//  - the kind is one of the six values, and the list buffer is written only
//    for TypeListGroup;
//  - ParseOrderSuffix either refuses and leaves the order alone, or accepts a
//    text of the form ".(" ... ")".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/ActionOrder.h"
#include "catalogue/GroupName.h"
#include "tests/catalogue/TypeListMatch.h"

namespace {

[[noreturn]] void Fail(const char* check, int line) {
    std::fprintf(stderr, "FuzzGroupName.cpp:%d: check failed: %s\n", line, check);
    std::abort();
}

#define FUZZ_CHECK(cond)                     \
    do {                                     \
        if (!(cond)) Fail(#cond, __LINE__);  \
    } while (0)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* split = static_cast<const char*>(std::memchr(bytes, 0, size));
    std::string nameText(bytes, split != nullptr ? static_cast<size_t>(split - bytes) : size);
    std::string rest = split != nullptr ? std::string(split + 1, size - (split + 1 - bytes)) : std::string();
    rest = rest.substr(0, rest.find('\0'));

    // The name in a buffer as large as the input needs, so long names reach
    // the grammar whole.
    std::vector<char> nameStore(nameText.size() + 1);
    TextOver name(nameStore.data(), static_cast<int32_t>(nameText.size()), nameText.c_str());
    name.MakeUpper();

    char* list = static_cast<char*>(std::malloc(kTypeListBufferSize));
    std::memset(list, 0x7F, kTypeListBufferSize);
    GroupKind kind = ParseGroupName(name, list);
    FUZZ_CHECK(kind == NotAGroup || kind == VerbGroup || kind == AllFilesGroup || kind == TypeListGroup ||
               kind == FolderGroup || kind == BackgroundGroup);
    if (kind == TypeListGroup) {
        size_t n = strnlen(list, kTypeListBufferSize);
        FUZZ_CHECK(n < static_cast<size_t>(kTypeListBufferSize));
        FUZZ_CHECK(n >= 3 && std::memcmp(list, ";.", 2) == 0);
        if (name.Length() <= 260) {
            FUZZ_CHECK(n <= 515);
            FUZZ_CHECK(list[n - 1] == ';');
        }
        TextListNode* lists = nullptr;
        if (PushText(&lists, list)) {
            TypeListsMatch(lists, rest.c_str(), FoldAsciiUpper);
            FreeTextList(&lists);
        }
    } else {
        FUZZ_CHECK(static_cast<unsigned char>(list[0]) == 0x7F);
    }
    std::free(list);

    // The order suffix over the rest, in an exactly sized buffer.
    std::vector<char> suffixStore(rest.size() + 1);
    TextOver suffix(suffixStore.data(), static_cast<int32_t>(rest.size()), rest.c_str());
    int32_t order = 12345;
    int accepted = ParseOrderSuffix(suffix, &order);
    if (!accepted) {
        FUZZ_CHECK(order == 12345);
    } else {
        FUZZ_CHECK(rest.size() >= 3 && rest.compare(0, 2, ".(") == 0 && rest.back() == ')');
    }
    return 0;
}
