// The command line an action starts with, in UTF-16:
//
//   "PROGRAM" ARGUMENTS FILE1 FILE2 ...
//
// the program path in double quotes, one space, the link's arguments (also
// when empty), then one space before each file. With no files the line ends
// after the arguments, so empty arguments leave a trailing space.
//
// Who reads the line decides how a file is written (LineReader):
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
//   refused: no line is composed and nothing may be started.
// - cmd.exe given /c, /k or /r runs the text after that switch as a command
//   line of its own, and first removes the first and the last quote of that
//   text unless it is one quoted program path without special characters
//   (cmd /? documents the rule; Wine 8's cmd follows it, measured: a quoted
//   "q&echo INJECTED&.bat" after /c ran echo). With files the text after the
//   switch is therefore wrapped in one more pair of quotes, which the
//   interpreter removes, and what they enclose is written as for a batch
//   file.
// - powershell.exe and pwsh.exe join their arguments into a script unless
//   -File comes first: every file is written as a single-quoted PowerShell
//   literal (each single quote of the name doubled, the typographic ones
//   included) inside double quotes, and a file that holds " or a control
//   character is refused.
//
// When the link's arguments leave a quote open for whoever reads them, a
// closing quote is written after them, so that the files stand outside it.
// For a program the quote is closed as the C runtime reads it: a run of
// backslashes before it is doubled, and an escaped \" opens nothing.
//
// The system starts no line longer than kCommandLineLimit units with the
// terminator; a longer line is reported, never cut (Wine 8 starts a longer
// line silently cut at the limit, Windows refuses it with error 87). A line
// the interpreter parses may hold at most kInterpreterLineLimit characters.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/WideText.h"

// Longest command line the system starts, terminator included.
constexpr int32_t kCommandLineLimit = 32767;
// Longest line the command interpreter takes, terminator not included
// (Windows documents 8191; Wine 8's cmd runs 8192 and silently does nothing
// with 8193, measured).
constexpr int32_t kInterpreterLineLimit = 8191;

enum class LineReader {
    kProgram,        // the program reads its own line (C runtime rules)
    kInterpreter,    // the command interpreter parses the whole line: a batch file, or cmd.exe without /c /k /r
    kCommandSwitch,  // cmd.exe with /c, /k or /r: the text after the switch is a command line of its own
    kPowerShell,     // powershell.exe or pwsh.exe taking its arguments as a script
};

// Who reads the line that starts `program` (the path the line starts with)
// with `arguments`: the command interpreter for a .bat or .cmd file and for
// cmd.exe, PowerShell for powershell.exe and pwsh.exe unless -File comes
// before any script text, else the program. File names and switches are
// compared without regard to the case of ASCII letters. For a .PIF shortcut
// the caller asks for the link target when the .PIF itself is a program.
LineReader ReaderOf(const char16_t* program, const char16_t* arguments);

// True when starting `program` (the path the line starts with) runs the
// command interpreter on the line: its extension is .bat or .cmd or its file
// name is cmd.exe (ASCII letters compared without regard to case). For a
// .PIF shortcut the caller asks for the link target as well.
bool InterpreterParses(const char16_t* program);

// True when the interpreter can pass `name` to a batch file in double
// quotes with every character intact: it holds no %, !, " and no character
// below U+0020.
bool InterpreterCanPass(const char16_t* name);

// True when `name` can be written as a PowerShell literal: it holds no " and
// no character below U+0020.
bool PowerShellCanPass(const char16_t* name);

// Appends `name` as a single-quoted PowerShell literal in double quotes:
// "'name'", every single quote of the name (' and U+2018 to U+201B, which
// PowerShell takes alike) written twice. Only for a name PowerShellCanPass.
void AppendPowerShellLiteral(WideBuffer& out, const char16_t* name);

enum class LineResult {
    kComposed,     // the line is in `out`
    kNoMemory,     // its storage could not be had; `out` is empty
    kTooLong,      // longer than `limit`; `out` is empty
    kNameRefused,  // a file the interpreter cannot pass; `out` is empty
};

struct LineOutcome {
    LineResult result;
    int64_t length;        // units of the line without the terminator (also when too long)
    int32_t refusedIndex;  // kNameRefused: position of the first refused file in the list; else -1
    int32_t limit;         // most units the line may hold without the terminator, for its reader
};

// Composes the line into `out`, reserved to exactly its length + 1 (what
// it held before is dropped). `files` are written in list order, for
// `reader` (kCommandSwitch for arguments without a switch is taken as
// kInterpreter). Without files the line is "PROGRAM" ARGUMENTS whoever
// reads it.
LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, LineReader reader);
