// The messages command invocation shows when an action's program is not
// started, in UTF-16 so that file names and system texts arrive whole.
//
// Each is composed into the caller's buffer of kInvokeBufferCapacity units,
// which is emptied first; every piece is appended and cut at the capacity.
// A message that fills the capacity exactly is taken as cut: its last three
// units are replaced by "...".
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/WideText.h"

// Capacity of the message buffer, terminator not counted.
constexpr int32_t kInvokeBufferCapacity = 519;

// The process could not be started:
//
//   Error executing command: <displayName>\n\nError code = <code>\n
//   <systemText, or "(no description)" when it is null>
//   \n\nThe command line was:\n<commandLine>
void ComposeLaunchFailure(WideBuffer& out, const char16_t* displayName, int32_t errorCode,
                          const char16_t* systemText, const char16_t* commandLine);

// Nothing was started because whoever reads the action's line (a command
// interpreter, PowerShell or the program) cannot be given `fileName` (a
// selected file, as the user knows it) unchanged.
void ComposeNameRefused(WideBuffer& out, const char16_t* displayName, const char16_t* fileName);

// Nothing was started because the action's program `program` (as the
// platform runs it) hands its line on to a reader of its own, or is named
// with a stream suffix: no file name can be passed to it safely.
void ComposeProgramRefused(WideBuffer& out, const char16_t* displayName, const char16_t* program);

// Nothing was started because the `fileCount` files make a command line of
// `length` units, more than `limit`: what the system starts, or the command
// interpreter's kInterpreterLineLimit.
void ComposeLineTooLong(WideBuffer& out, const char16_t* displayName, int32_t fileCount, int64_t length,
                        int32_t limit);

// Nothing was started because a placeholder of the action's arguments
// stands where whoever reads the line (the command interpreter, PowerShell)
// cannot be given a file name safely.
void ComposePlaceholderRefused(WideBuffer& out, const char16_t* displayName);

// The question before an action runs once per file more than kRunsAsked
// times: "Start <displayName> <runs> times?"
void ComposeManyRunsQuestion(WideBuffer& out, const char16_t* displayName, int32_t runs);

// The offer when the files do not fit one command line: "<fileCount> files
// do not fit one command line: start <displayName> <runs> times, with up to
// <perRun> files each?"
void ComposeBatchQuestion(WideBuffer& out, const char16_t* displayName, int32_t fileCount, int32_t runs,
                          int32_t perRun);

// Most runs of one action from one click that start without a question.
constexpr int32_t kRunsAsked = 15;
