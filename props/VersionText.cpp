#include "props/VersionText.h"

void FormatVersionText(TextBuffer& out, uint32_t productVersionMS, uint32_t fileVersionMS) {
    out.Assign("Version ");
    out.AppendDecimal(static_cast<int32_t>(productVersionMS >> 16));
    out.Append(".");
    out.AppendDecimal(static_cast<int32_t>(productVersionMS & 0xFFFFu));
    out.Append(".");
    out.AppendDecimal(static_cast<int32_t>(fileVersionMS >> 16));
}
