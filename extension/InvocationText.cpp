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
    out.AppendAscii("\n\nThis action's command line cannot carry this file unchanged:\n");
    out.Append(fileName);
    out.AppendAscii("\n\nA name that holds a quotation mark or a control character, or (for a command "
                    "interpreter) % or !, would reach the action altered. Nothing was started. Rename the "
                    "file, or use an action that starts a program.");
    EndCutWithDots(out);
}

void ComposeProgramRefused(WideBuffer& out, const char16_t* displayName, const char16_t* program) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\nThis action's program hands its command line on to another interpreter, or is named "
                    "with a stream suffix, so no file name can be passed to it safely:\n");
    out.Append(program);
    out.AppendAscii("\n\nNothing was started. Point the action at the program that does the work, or at a "
                    "batch file.");
    EndCutWithDots(out);
}

void ComposeLineTooLong(WideBuffer& out, const char16_t* displayName, int32_t fileCount, int64_t length,
                        int32_t limit) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\n");
    out.AppendDecimal(fileCount);
    out.AppendAscii(" files were selected. Their names make a command line of ");
    out.AppendDecimal(length);
    out.AppendAscii(" characters, more than the ");
    out.AppendDecimal(limit);
    out.AppendAscii(limit < kCommandLineLimit - 1 ? " the command interpreter takes" : " the system can start");
    out.AppendAscii(". Nothing was started. Select fewer files and try again.");
    EndCutWithDots(out);
}
