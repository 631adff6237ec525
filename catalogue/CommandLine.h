// The command line an action starts with, in UTF-16:
//
//   "PROGRAM" ARGUMENTS FILE1 FILE2 ...
//
// the program path in double quotes, one space, the link's arguments (also
// when empty), then one space before each file. With no files the line ends
// after the arguments, so empty arguments leave a trailing space.
//
// How a file is written depends on who parses the line:
// - A program reads its own command line (the C runtime's argv rules): a
//   file is written as it is, in double quotes when it holds a space.
// - The command interpreter parses it when the program is a batch file
//   (.bat, .cmd) or the interpreter itself (cmd.exe): the system runs the
//   interpreter on the whole line. Outside double quotes it takes & | < > ( )
//   as command syntax and ^ as an escape, and splits parameters at spaces,
//   tabs , ; and =; inside quotes all of those are plain text. It expands
//   %NAME% everywhere, quotes or not, and !NAME! when delayed expansion is on,
//   and no escape gets a literal % through to a batch file (measured under
//   Wine 8's cmd; Windows' cmd behaves alike). So every file is written in
//   double quotes, and a file that holds %, !, " or a control character is
//   refused: no line is composed and nothing may be started. When the
//   link's arguments leave a quote open, a closing quote is written after
//   them, so that the files stand outside it.
//
// The system starts no line longer than kCommandLineLimit units with the
// terminator; a longer line is reported, never cut (Wine 8 starts a longer
// line silently cut at the limit, Windows refuses it with error 87).
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/WideText.h"

// Longest command line the system starts, terminator included.
constexpr int32_t kCommandLineLimit = 32767;

// True when starting `program` (the path the line starts with) runs the
// command interpreter on the line: its extension is .bat or .cmd or its file
// name is cmd.exe (ASCII letters compared without regard to case). For a
// .PIF shortcut the caller asks for the link target as well.
bool InterpreterParses(const char16_t* program);

// True when the interpreter can pass `name` to a batch file in double
// quotes with every character intact: it holds no %, !, " and no character
// below U+0020.
bool InterpreterCanPass(const char16_t* name);

enum class LineResult {
    kComposed,     // the line is in `out`
    kNoMemory,     // its storage could not be had; `out` is empty
    kTooLong,      // longer than kCommandLineLimit; `out` is empty
    kNameRefused,  // a file the interpreter cannot pass; `out` is empty
};

struct LineOutcome {
    LineResult result;
    int64_t length;        // units of the line without the terminator (also when too long)
    int32_t refusedIndex;  // kNameRefused: position of the first refused file in the list; else -1
};

// Composes the line into `out`, reserved to exactly its length + 1 (what
// it held before is dropped). `files` are written in list order, for the
// command interpreter when `interpreter`.
LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, bool interpreter);
