// The command line an action starts with, in UTF-16:
//
//   "PROGRAM" ARGUMENTS FILE1 FILE2 ...
//
// the program path in double quotes, one space, the link's arguments (also
// when empty), then one space before each file. With no files the line ends
// after the arguments, so empty arguments leave a trailing space.
//
// Who reads the line is decided on the name the platform runs, not on the
// text as the link holds it (RunName below): the last path component loses
// its trailing dots and spaces, and ".exe" is added when no extension is
// left, so "cmd", "cmd.exe. " and "run.bat." name the interpreter as
// "cmd.exe" and "run.bat" do (measured under Wine 8: CreateProcess of each
// runs the interpreter). The platform glue (catalogue/ProgramPath.h) gives
// the full, long form first, so a short name such as POWERS~1.EXE is read as
// the powershell.exe it stands for.
//
// Who reads the line decides how a file is written (LineReader):
// - A program reads its own command line (the C runtime's argv rules): a
//   file is written as it is, in double quotes when it is empty or holds a
//   space or a comma (the explorer's /select, splits at commas; the C
//   runtime reads the quoted name the same), a run of backslashes at its
//   end doubled inside the quotes so that the closing quote stays one. A
//   file that holds " or a character below U+0020 (a tab, a line break) is
//   refused: no program's reading of it can be known, and a link's target
//   may hold either.
// - The command interpreter parses it when the program is a batch file
//   (.bat, .cmd) or the interpreter itself (cmd.exe): the system runs the
//   interpreter on the whole line. Outside double quotes it takes & | < > ( )
//   as command syntax and ^ as an escape, and splits parameters at spaces,
//   tabs , ; and =; inside quotes all of those are plain text. It expands
//   %NAME% everywhere, quotes or not, and !NAME! when delayed expansion is on,
//   and no escape gets a literal % through to a batch file (measured under
//   Wine 8's cmd; Windows' cmd behaves alike). So every file is written in
//   double quotes (a trailing backslash run doubled, for a program that the
//   interpreter starts with it), and a file that holds %, !, " or a control
//   character is refused: no line is composed and nothing may be started.
//   A batch file started directly is run as cmd /c "LINE": the interpreter
//   reads two quotes more than the line holds, and they count to its limit.
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
// - wt.exe, conhost.exe and wsl.exe hand their line on to a reader of its
//   own (a new console's command line, the terminal's ; separated commands,
//   the Linux shell), which no quoting written here can be known to hold:
//   files are refused for them, and for a program named with a ':' stream
//   suffix, whose reading cannot be told from its name at all.
//
// When the link's arguments leave a quote open for whoever reads them, a
// closing quote is written after them, so that the files stand outside it.
// For a program the quote is closed as the C runtime reads it: a run of
// backslashes before it is doubled, and an escaped \" opens nothing.
//
// Placeholders. Arguments that hold %1 or %L (either case) run the action
// once per file, %* puts the files at its place instead of at the end
// (PlaceholdersOf; ComposeCommandLine writes the files of one line at every
// placeholder, the caller decides how many lines). No other % sequence is
// touched. A file at a placeholder is written for where it stands:
// - outside quotes as an appended file is (for a program also in quotes
//   when it ends in a backslash); for a program and for PowerShell the
//   placeholder may not touch a quote nor follow a backslash there
//   (a"%1, "x"%1, \%1: kPlaceholderRefused), which would be read together
//   with the quotes written around a name;
// - inside quotes ("%1", "--in=%1") as it is, a backslash run at its end
//   doubled when a quote follows; several files there are parted by " "
//   (the quote closed, a space, the quote opened again), so each reaches
//   the program, or the batch file, as a parameter of its own;
// - for PowerShell as a literal, in double quotes outside the program's
//   quotes and without them inside; a placeholder inside a PowerShell
//   string of the arguments is refused (kPlaceholderRefused);
// - for the command interpreter only where both of its readings agree
//   (quoted or not) and no caret waits, and for cmd.exe with a switch only
//   behind the switch; elsewhere refused;
// - never right beside another placeholder (%1%1, "%*%L"): refused.
// Without files every placeholder is left out. Arguments without a
// placeholder give the line described above, unchanged.
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

// The command interpreter's limit for a batch file started directly: the
// two quotes the system puts around the line count.
constexpr int32_t kBatchFileLineLimit = kInterpreterLineLimit - 2;

enum class LineReader {
    kProgram,        // the program reads its own line (C runtime rules)
    kInterpreter,    // the command interpreter parses the whole line: cmd.exe without /c /k /r
    kBatchFile,      // a .bat or .cmd file: as kInterpreter, the line run as cmd /c "LINE"
    kCommandSwitch,  // cmd.exe with /c, /k or /r: the text after the switch is a command line of its own
    kPowerShell,     // powershell.exe or pwsh.exe taking its arguments as a script
    kRefused,        // a relay to another reader (wt, conhost, wsl) or a ':' stream suffix: no file is passed
};

// The name the platform runs for `program`, as far as the text tells: the
// last path component (behind the last \ or /, or behind a drive's "X:")
// without its trailing dots and spaces, with ".exe" added when it then has
// no extension. A component that is dots and spaces only is taken as it is.
struct RunName {
    const char16_t* component;  // start of the last path component in `program`
    int32_t length;             // its units without the trailing dots and spaces
    bool addsExe;               // ".exe" follows: the component has no extension
    bool stream;                // the component holds ':' (a stream suffix): nothing can be told
};
RunName RunNameOf(const char16_t* program);

// Appends `program` as RunNameOf reads it: the trailing dots and spaces
// dropped, ".exe" added where it says. The glue resolves this form to its
// full, long path. Appends nothing and returns false for a stream suffix.
bool AppendRunName(WideBuffer& out, const char16_t* program);

// Who reads the line that starts `program` (best its full, long path; see
// catalogue/ProgramPath.h) with `arguments`, decided on its RunNameOf: the
// command interpreter for a .bat or .cmd file and for cmd.exe, PowerShell
// for powershell.exe and pwsh.exe unless -File comes before any script
// text, kRefused for wt.exe, conhost.exe, wsl.exe and a stream suffix, else
// the program. File names and switches are compared without regard to the
// case of ASCII letters. For a .PIF shortcut the caller asks for the link
// target when the .PIF itself is a program.
LineReader ReaderOf(const char16_t* program, const char16_t* arguments);

// True when a program can be given `name` by the C runtime's rules: it
// holds no " and no character below U+0020.
bool ProgramCanPass(const char16_t* name);

// True when the interpreter can pass `name` to a batch file in double
// quotes with every character intact: it holds no %, !, " and no character
// below U+0020.
bool InterpreterCanPass(const char16_t* name);

// True when `name` can be written as a PowerShell literal: it holds no " and
// no character below U+0020.
bool PowerShellCanPass(const char16_t* name);


enum class LineResult {
    kComposed,     // the line is in `out`
    kNoMemory,     // its storage could not be had; `out` is empty
    kTooLong,      // longer than `limit`; `out` is empty
    kNameRefused,  // a file its reader cannot be given whole; `out` is empty
    kProgramRefused,  // files for a kRefused reader; `out` is empty
    kPlaceholderRefused,  // a placeholder stands where its reader's quoting cannot be known; `out` is empty
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
// reads it, also for kRefused: the user's own line.
// With `fileCount` not negative only the first `fileCount` files of the
// list are written (fewer when the list is shorter).
LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, LineReader reader, int32_t fileCount = -1);

enum class Placeholders {
    kNone,      // no placeholder: the files follow the arguments
    kEachFile,  // %1 or %L (either case): one line per file
    kAllFiles,  // %* only: all files at its place
};
// Which placeholders `arguments` hold.
Placeholders PlaceholdersOf(const char16_t* arguments);

// The most files from the head of `files` whose line (as ComposeCommandLine
// writes it) stays within its reader's limit: 0 when not even the first
// fits, or when the line cannot be composed for another reason (which
// ComposeCommandLine then reports).
int32_t FilesThatFit(const char16_t* program, const char16_t* arguments, const WideTextNode* files,
                     LineReader reader);
