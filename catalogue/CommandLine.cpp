#include "catalogue/CommandLine.h"

#include <cstring>

int ComposeCommandLine(HeapText& out, const char* program, const char* arguments, const TextListNode* files,
                       int32_t filesLength) {
    const int64_t wanted = static_cast<int64_t>(std::strlen(program)) + filesLength +
                           static_cast<int64_t>(std::strlen(arguments)) + 4;
    if (wanted <= 0 || wanted > INT32_MAX) {
        out.FreeStorage();
        return 0;
    }
    out.Reserve(static_cast<int32_t>(wanted));
    if (!out.OnHeap()) return 0;
    out.Append("\"").Append(program).Append("\" ").Append(arguments);
    for (const TextListNode* node = files; node != nullptr; node = node->next) {
        out.Append(" ").Append(node->text.Text());
    }
    return 1;
}
