// The texts that command invocation composes besides the command line itself:
// the argument made of one selected file's name, and the message shown when
// an action's program cannot be started.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// Capacity of the buffer that receives each short name in turn and then the
// failure message: a message longer than this is cut and ends in "...".
constexpr int32_t kInvokeBufferCapacity = 519;

// Puts the file argument for `name` into `out`: the name unchanged when it
// holds no space, else the name in double quotes, so that a name with spaces
// (a long name, or a short name on a volume that keeps no 8.3 names) reaches
// the program as one argument. Cut at out's capacity like every text.
void AssignFileArgument(TextBuffer& out, const char* name);

// Composes the message for an action whose program could not be started:
//
//   Error executing command: <displayName>\n\nError code = <code>\n
//   <systemText, or "(no description)" when it is null>
//   \n\nThe command line was:\n<commandLine>
//
// Every piece is appended and cut at out's capacity. A message that fills
// the capacity exactly is taken as cut: its last three characters are
// replaced by "...". `out` is emptied first.
void ComposeLaunchFailure(TextBuffer& out, const char* displayName, int32_t errorCode, const char* systemText,
                          const char* commandLine);
