#include "extension/InvocationText.h"

#include "catalogue/CommandLine.h"

namespace {

void StartMessage(WideBuffer& out, const char16_t* displayName) {
    out.Clear();
    out.AppendAscii("Error executing command: ");
    out.Append(displayName);
}

void EndCutWithDots(WideBuffer& out) {
    if (out.Length() == out.Capacity() && out.Capacity() >= 3) {
        out.DropLast(3);
        out.AppendAscii("...");
    }
}

}  // namespace

void ComposeLaunchFailure(WideBuffer& out, const char16_t* displayName, int32_t errorCode,
                          const char16_t* systemText, const char16_t* commandLine) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\nError code = ");
    out.AppendDecimal(errorCode);
    out.AppendAscii("\n");
    if (systemText != nullptr) {
        out.Append(systemText);
    } else {
        out.AppendAscii("(no description)");
    }
    out.AppendAscii("\n\nThe command line was:\n");
    out.Append(commandLine);
    EndCutWithDots(out);
}

void ComposeNameRefused(WideBuffer& out, const char16_t* displayName, const char16_t* fileName) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\nThis action is a batch file, and the command interpreter cannot pass this file "
                    "to it unchanged:\n");
    out.Append(fileName);
    out.AppendAscii("\n\nA name that holds %, ! or a quotation mark would reach the batch file altered. "
                    "Nothing was started. Rename the file, or use an action that starts a program.");
    EndCutWithDots(out);
}

void ComposeLineTooLong(WideBuffer& out, const char16_t* displayName, int32_t fileCount, int64_t length) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\n");
    out.AppendDecimal(fileCount);
    out.AppendAscii(" files were selected. Their names make a command line of ");
    out.AppendDecimal(length);
    out.AppendAscii(" characters, more than the ");
    out.AppendDecimal(kCommandLineLimit - 1);
    out.AppendAscii(" the system can start. Nothing was started. Select fewer files and try again.");
    EndCutWithDots(out);
}
