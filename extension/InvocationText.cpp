#include "extension/InvocationText.h"

#include <cstring>

void AssignFileArgument(TextBuffer& out, const char* name) {
    if (std::strchr(name, ' ') == nullptr) {
        out.Assign(name);
        return;
    }
    out.Assign("\"");
    out.Append(name);
    out.Append("\"");
}

void ComposeLaunchFailure(TextBuffer& out, const char* displayName, int32_t errorCode, const char* systemText,
                          const char* commandLine) {
    out.Assign("Error executing command: ");
    out.Append(displayName);
    out.Append("\n\nError code = ");
    out.AppendDecimal(errorCode);
    out.Append("\n");
    out.Append(systemText != nullptr ? systemText : "(no description)");
    out.Append("\n\nThe command line was:\n");
    out.Append(commandLine);
    if (out.Length() == out.Capacity() && out.Capacity() >= 3) {
        out.Erase(out.Length() - 3, 3);
        out.Append("...");
    }
}
