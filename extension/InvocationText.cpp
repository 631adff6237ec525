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

void ComposePlaceholderRefused(WideBuffer& out, const char16_t* displayName) {
    StartMessage(out, displayName);
    out.AppendAscii("\n\nA placeholder (%1, %L or %*) in this action's arguments stands inside text that the "
                    "command interpreter or PowerShell reads in a way no file name can be placed in safely. "
                    "Nothing was started. Put the placeholder on its own or in double quotes.");
    EndCutWithDots(out);
}

void ComposeManyRunsQuestion(WideBuffer& out, const char16_t* displayName, int32_t runs) {
    out.Clear();
    out.AppendAscii("Start ");
    out.Append(displayName);
    out.AppendAscii(" ");
    out.AppendDecimal(runs);
    out.AppendAscii(" times?");
    EndCutWithDots(out);
}

void ComposeBatchQuestion(WideBuffer& out, const char16_t* displayName, int32_t fileCount, int32_t runs,
                          int32_t perRun) {
    out.Clear();
    out.AppendDecimal(fileCount);
    out.AppendAscii(" files do not fit one command line: start ");
    out.Append(displayName);
    out.AppendAscii(" ");
    out.AppendDecimal(runs);
    out.AppendAscii(" times, with up to ");
    out.AppendDecimal(perRun);
    out.AppendAscii(" files each?");
    EndCutWithDots(out);
}
