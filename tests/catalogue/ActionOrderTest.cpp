#include "catalogue/ActionOrder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/CommandLine.h"
#include "toolkit/PathSplit.h"

namespace {

struct SuffixCase {
    const char* displayName;
    int accepted;           // ParseOrderSuffix's result on the name's extension part
    int32_t order;          // the order afterwards, starting from 10000
    const char* shownName;  // what the item shows
};

TEST(ParseOrderSuffix, DisplayNameTable) {
    const SuffixCase cases[] = {
        {"Notepad.(5)", 1, 5, "Notepad"},
        {"Tool.(-3)", 1, -3, "Tool"},
        {"Tool.(+7)", 1, 7, "Tool"},
        {"Tool.(-)", 1, 0, "Tool"},
        {"Tool.(+)", 1, 0, "Tool"},
        {"Tool.()", 1, 10000, "Tool"},
        {"Tool.(0)", 1, 0, "Tool"},
        {"Tool.(007)", 1, 7, "Tool"},
        {"Tool.(2147483647)", 1, 2147483647, "Tool"},
        {"Tool.(-2147483648)", 1, -2147483647 - 1, "Tool"},
        {"Tool.(2147483648)", 0, 10000, "Tool.(2147483648)"},
        {"Tool.(-2147483649)", 0, 10000, "Tool.(-2147483649)"},
        {"Tool.(99999999999)", 0, 10000, "Tool.(99999999999)"},
        {"Tool.(5a)", 0, 10000, "Tool.(5a)"},
        {"Tool.( 5)", 0, 10000, "Tool.( 5)"},
        {"Tool.(--5)", 0, 10000, "Tool.(--5)"},
        {"Tool.5", 0, 10000, "Tool.5"},
        {"Tool.(5", 0, 10000, "Tool.(5"},
        {"Tool.(", 0, 10000, "Tool.("},
        {"Tool.)", 0, 10000, "Tool.)"},
        {"Tool.", 0, 10000, "Tool."},
        {"Tool", 0, 10000, "Tool"},
        {"A.(5).(6)", 1, 6, "A.(5)"},
        {"Setup 1.2", 0, 10000, "Setup 1.2"},
        {".(4)", 1, 4, ""},
    };
    for (const SuffixCase& c : cases) {
        // The item takes the extension part of the display name, as the path
        // split gives it, and shows the base name when the suffix is accepted.
        PathParts parts = SplitPath(c.displayName);
        FixedText suffix;
        suffix.AssignMid(c.displayName, parts.extensionStart, parts.extensionLength);
        int32_t order = 10000;
        int accepted = ParseOrderSuffix(suffix, &order);
        EXPECT_EQ(accepted, c.accepted) << c.displayName;
        EXPECT_EQ(order, c.order) << c.displayName;
        std::string shown = accepted ? std::string(c.displayName, parts.baseLength) : std::string(c.displayName);
        EXPECT_EQ(shown, c.shownName) << c.displayName;
    }
}

TEST(ParseOrderSuffix, RefusalLeavesTheOrderAlone) {
    // Start from an unusual value: a refused suffix must not write it.
    for (const char* text : {".(5a)", ".5", ".(", "", ".(99999999999)", "x(5)"}) {
        FixedText suffix(text);
        int32_t order = -77;
        EXPECT_EQ(ParseOrderSuffix(suffix, &order), 0) << text;
        EXPECT_EQ(order, -77) << text;
    }
}

struct CompareCase {
    int32_t orderA;
    const char* nameA;
    int32_t orderB;
    const char* nameB;
    int sign;  // -1, 0, 1
};

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(CompareActionKeys, Table) {
    const CompareCase cases[] = {
        {5, "z", 10, "a", -1},
        {10, "a", 5, "z", 1},
        {-3, "b", 0, "a", -1},
        {-2147483647 - 1, "a", 2147483647, "a", -1},
        {10, "b", 10, "B", 0},
        {10, "Notepad", 10, "NOTEPAD", 0},
        {10, "_x", 10, "ax", -1},   // '_' is below 'a'...
        {10, "_x", 10, "AX", -1},   // ...and A-Z fold down to a-z, not the other way
        {10, "a", 10, "ab", -1},
        {10, "ab", 10, "a", 1},
        {10, "", 10, "a", -1},
        {10, "", 10, "", 0},
        {10, "a\xE9", 10, "az", 1},  // bytes compare unsigned
        {10, "\xC4", 10, "\xE4", -1},  // only A-Z fold: these two stay apart
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(Sign(CompareActionKeys(c.orderA, c.nameA, c.orderB, c.nameB)), c.sign)
            << c.orderA << ":" << c.nameA << " vs " << c.orderB << ":" << c.nameB;
        EXPECT_EQ(Sign(CompareActionKeys(c.orderB, c.nameB, c.orderA, c.nameA)), -c.sign) << "reversed";
    }
}

// A file list in the given order (the list's head is the first file).
class FileList {
public:
    explicit FileList(std::initializer_list<std::u16string> names) {
        std::vector<std::u16string> all(names);
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            PushWide(&head, it->c_str(), static_cast<int32_t>(it->size()));
        }
    }
    ~FileList() { FreeWideList(&head); }
    WideTextNode* head = nullptr;
};

std::u16string Line(const HeapWide& line) { return std::u16string(line.Text(), line.Length()); }

TEST(ComposeCommandLine, Table) {
    struct Case {
        const char16_t* program;
        const char16_t* arguments;
        std::initializer_list<std::u16string> files;
        const char16_t* expected;
    } cases[] = {
        // A program parses its own line: names as they are, quoted when they hold a space.
        {u"C:\\WIN\\NOTEPAD.EXE", u"", {u"C:\\DOCS\\A.TXT", u"C:\\DOCS\\B.TXT"},
         u"\"C:\\WIN\\NOTEPAD.EXE\"  C:\\DOCS\\A.TXT C:\\DOCS\\B.TXT"},
        {u"C:\\WIN\\NOTEPAD.EXE", u"", {}, u"\"C:\\WIN\\NOTEPAD.EXE\" "},
        {u"C:\\T\\X.EXE", u"/p", {u"C:\\A", u"C:\\My Docs\\a b.txt", u"C:\\x&y"},
         u"\"C:\\T\\X.EXE\" /p C:\\A \"C:\\My Docs\\a b.txt\" C:\\x&y"},
        {u"", u"", {u"C:\\A"}, u"\"\"  C:\\A"},
        {u"C:\\T\\TOOL.PIF", u"a \"b c\"", {u"F1", u"F2"}, u"\"C:\\T\\TOOL.PIF\" a \"b c\" F1 F2"},
        // A quote the arguments leave open is closed before the files, as the C runtime reads it: an
        // escaped quote opens nothing, and backslashes at the end are doubled before the closing quote.
        {u"C:\\T\\X.EXE", u"-t \"open", {u"C:\\A"}, u"\"C:\\T\\X.EXE\" -t \"open\" C:\\A"},
        {u"C:\\T\\X.EXE", u"--out \"C:\\Out\\\"", {u"C:\\A"}, u"\"C:\\T\\X.EXE\" --out \"C:\\Out\\\"\" C:\\A"},
        {u"C:\\T\\X.EXE", u"--out \"C:\\Out\\\\\"", {u"C:\\A"}, u"\"C:\\T\\X.EXE\" --out \"C:\\Out\\\\\" C:\\A"},
        {u"C:\\T\\X.EXE", u"-o \"C:\\Out\\", {u"C:\\A"}, u"\"C:\\T\\X.EXE\" -o \"C:\\Out\\\\\" C:\\A"},
        {u"C:\\T\\X.EXE", u"-o \"C:\\Out\\", {}, u"\"C:\\T\\X.EXE\" -o \"C:\\Out\\"},
        // Quoted also on a comma (the explorer splits /select, at commas) or when empty, a run of
        // backslashes at the end doubled inside the quotes: each name stays one argument of its own.
        {u"C:\\T\\X.EXE", u"", {u"C:\\a,b.txt", u"", u"C:\\my dir\\", u"C:\\d\\"},
         u"\"C:\\T\\X.EXE\"  \"C:\\a,b.txt\" \"\" \"C:\\my dir\\\\\" C:\\d\\"},
        {u"C:\\T\\run.bat", u"", {u"C:\\my dir\\\\"}, u"\"C:\\T\\run.bat\"  \"C:\\my dir\\\\\\\\\""},
        {u"C:\\W\\cmd.exe", u"/c x.exe", {u"C:\\d\\"}, u"\"C:\\W\\cmd.exe\" /c \"x.exe \"C:\\d\\\\\"\""},
        // The interpreter parses it: every name quoted, an open quote of the arguments closed first.
        {u"C:\\T\\RUN.CMD", u"", {u"C:\\x&pwn", u"C:\\\u0436 (1);a=b,c^d.txt"},
         u"\"C:\\T\\RUN.CMD\"  \"C:\\x&pwn\" \"C:\\\u0436 (1);a=b,c^d.txt\""},
        {u"C:\\T\\run.bat", u"-t \"open", {u"C:\\A"}, u"\"C:\\T\\run.bat\" -t \"open\" \"C:\\A\""},
        {u"C:\\T\\run.bat", u"^\"x", {u"C:\\A"}, u"\"C:\\T\\run.bat\" ^\"x^\" \"C:\\A\""},
        {u"C:\\T\\run.bat", u"a^", {u"C:\\A"}, u"\"C:\\T\\run.bat\" a^  \"C:\\A\""},
        {u"C:\\T\\run.bat", u"\"open", {}, u"\"C:\\T\\run.bat\" \"open"},
        // cmd.exe with /c, /k or /r: what follows the switch in one more pair of quotes.
        {u"C:\\W\\System32\\CMD.EXE", u"/c x.bat", {u"C:\\a&b"},
         u"\"C:\\W\\System32\\CMD.EXE\" /c \"x.bat \"C:\\a&b\"\""},
        {u"C:\\W\\cmd.exe", u"/k", {u"C:\\q&r&.bat", u"C:\\x y"}, u"\"C:\\W\\cmd.exe\" /k \" \"C:\\q&r&.bat\" \"C:\\x y\"\""},
        {u"C:\\W\\cmd.exe", u"/Q /R\"C:\\a b\\r.bat\" \"x", {u"C:\\A"},
         u"\"C:\\W\\cmd.exe\" /Q /R \"\"C:\\a b\\r.bat\" \"x\" \"C:\\A\"\""},
        {u"C:\\W\\cmd.exe", u"/k", {}, u"\"C:\\W\\cmd.exe\" /k"},
        {u"C:\\W\\cmd.exe", u"/q", {u"C:\\a&b"}, u"\"C:\\W\\cmd.exe\" /q \"C:\\a&b\""},
        // PowerShell taking a script: each name a single-quoted literal; with -File plain arguments.
        {u"C:\\P\\powershell.exe", u"-NoExit -Command Get-Item", {u"C:\\$(calc).txt", u"C:\\it's \u2019q\u2018.txt"},
         u"\"C:\\P\\powershell.exe\" -NoExit -Command Get-Item \"'C:\\$(calc).txt'\" \"'C:\\it''s \u2019\u2019q\u2018\u2018.txt'\""},
        {u"C:\\P\\PWSH.EXE", u"-ExecutionPolicy Bypass -File C:\\s.ps1", {u"C:\\$(calc).txt"},
         u"\"C:\\P\\PWSH.EXE\" -ExecutionPolicy Bypass -File C:\\s.ps1 C:\\$(calc).txt"},
        // Placeholders: the files at their place, written for where each stands.
        {u"C:\\T\\X.EXE", u"-o \"%1\" -v", {u"C:\\A B\\x.txt"}, u"\"C:\\T\\X.EXE\" -o \"C:\\A B\\x.txt\" -v"},
        {u"C:\\T\\X.EXE", u"\"--in=%L\" %l", {u"C:\\d\\"}, u"\"C:\\T\\X.EXE\" \"--in=C:\\d\\\\\" \"C:\\d\\\\\""},
        {u"C:\\T\\X.EXE", u"-a %* -z", {u"C:\\A", u"C:\\b c"}, u"\"C:\\T\\X.EXE\" -a C:\\A \"C:\\b c\" -z"},
        {u"C:\\T\\X.EXE", u"\"%*\"", {u"C:\\A", u"C:\\b c"}, u"\"C:\\T\\X.EXE\" \"C:\\A\" \"C:\\b c\""},
        {u"C:\\T\\X.EXE", u"-o \"%1\" 100%", {}, u"\"C:\\T\\X.EXE\" -o \"\" 100%"},
        {u"C:\\T\\RUN.CMD", u"-x %1 \"y=%1\"", {u"C:\\x&pwn"}, u"\"C:\\T\\RUN.CMD\" -x \"C:\\x&pwn\" \"y=C:\\x&pwn\""},
        {u"C:\\W\\cmd.exe", u"/c x.cmd \"%1\" %OS%", {u"C:\\q&r"}, u"\"C:\\W\\cmd.exe\" /c \"x.cmd \"C:\\q&r\" %OS%\""},
        {u"C:\\P\\powershell.exe", u"-Command \"& 'C:\\s.ps1' %1\"", {u"C:\\it's"},
         u"\"C:\\P\\powershell.exe\" -Command \"& 'C:\\s.ps1' 'C:\\it''s'\""},
        {u"C:\\P\\powershell.exe", u"-Command Get-Item %*", {u"C:\\a b", u"C:\\$x"},
         u"\"C:\\P\\powershell.exe\" -Command Get-Item \"'C:\\a b'\" \"'C:\\$x'\""},
    };
    for (const Case& c : cases) {
        FileList files(c.files);
        HeapWide line;
        const LineOutcome outcome = ComposeCommandLine(line, c.program, c.arguments, files.head,
                                                       ReaderOf(c.program, c.arguments));
        ASSERT_EQ(outcome.result, LineResult::kComposed);
        EXPECT_EQ(Line(line), std::u16string(c.expected));
        // Reserved to exactly the line's length: nothing wasted, nothing cut.
        EXPECT_EQ(line.Capacity(), line.Length());
        EXPECT_EQ(outcome.length, line.Length());
    }
}

TEST(ReaderOf, DecidedOnTheNameThePlatformRuns) {
    // Trailing dots and spaces go, ".exe" is added to a name without an
    // extension; a ':' in the last component is a stream: nothing is passed.
    const struct {
        const char16_t* program;
        LineReader reader;
    } cases[] = {
        {u"C:\\W\\System32\\cmd", LineReader::kInterpreter},
        {u"C:\\W\\System32\\CMD.EXE. . .", LineReader::kInterpreter},
        {u"C:cmd", LineReader::kInterpreter},
        {u"C:\\T\\run.bat.", LineReader::kBatchFile},
        {u"C:\\T\\RUN.CMD ", LineReader::kBatchFile},
        {u"C:\\P\\powershell", LineReader::kPowerShell},
        {u"C:/P/pwsh.exe.", LineReader::kPowerShell},
        {u"C:\\W\\wt", LineReader::kRefused},
        {u"C:\\W\\System32\\conhost.exe", LineReader::kRefused},
        {u"C:\\W\\System32\\WSL.EXE", LineReader::kRefused},
        {u"C:\\T\\run.bat::$DATA", LineReader::kRefused},
        {u"C:\\W\\cmd.exe:x", LineReader::kRefused},
        {u"C:\\T\\mycmd.exe", LineReader::kProgram},
        {u"C:\\T\\x.bat.exe", LineReader::kProgram},
        {u"C:\\T\\cmd.com", LineReader::kProgram},
        {u"C:\\T\\..", LineReader::kProgram},
        {u"", LineReader::kProgram},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReaderOf(c.program, u""), c.reader) << std::string(c.program, c.program + WideLength(c.program));
    }
    // What the glue resolves: the run name, or nothing for a stream.
    FixedWide<63> run;
    EXPECT_TRUE(AppendRunName(run, u"C:\\P\\POWERS~1. "));
    EXPECT_EQ(std::u16string(run.Text(), run.Length()), u"C:\\P\\POWERS~1.exe");
    run.Clear();
    EXPECT_FALSE(AppendRunName(run, u"C:\\P\\a.exe:s"));
    EXPECT_TRUE(run.Empty());
    // Files for a relay are refused; its arguments alone are the user's own line.
    FileList one({u"C:\\A"});
    HeapWide line;
    EXPECT_EQ(ComposeCommandLine(line, u"C:\\W\\wt.exe", u"cmd", one.head, LineReader::kRefused).result,
              LineResult::kProgramRefused);
    EXPECT_TRUE(line.Empty());
    EXPECT_EQ(ComposeCommandLine(line, u"C:\\W\\wt.exe", u"cmd", nullptr, LineReader::kRefused).result,
              LineResult::kComposed);
    EXPECT_EQ(Line(line), u"\"C:\\W\\wt.exe\" cmd");
}

TEST(ComposeCommandLine, PowerShellTakesAScriptUnlessFileComesFirst) {
    const struct {
        const char16_t* program;
        const char16_t* arguments;
        LineReader reader;
    } cases[] = {
        {u"C:\\P\\powershell.exe", u"", LineReader::kPowerShell},
        {u"C:\\P\\powershell.exe", u"-NoProfile -c", LineReader::kPowerShell},
        {u"C:\\P\\pwsh.exe", u"/NoLogo", LineReader::kPowerShell},
        {u"C:\\P\\pwsh.exe", u"-f C:\\s.ps1", LineReader::kProgram},
        {u"C:\\P\\pwsh.exe", u"-ep Bypass -WindowStyle Hidden -FILE \"C:\\a b.ps1\"", LineReader::kProgram},
        {u"C:\\P\\pwsh.exe", u"-Command -File", LineReader::kPowerShell},     // -File is script text here
        {u"C:\\P\\pwsh.exe", u"-NoExit Get-Item -f", LineReader::kPowerShell},  // so is everything after a word
        {u"C:\\P\\xpwsh.exe", u"-c", LineReader::kProgram},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReaderOf(c.program, c.arguments), c.reader) << std::string(c.arguments, c.arguments + WideLength(c.arguments));
    }
    // The literal of a file: every kind of single quote doubled, nothing else touched.
    FileList file({u"C:\\a'b\u201a\u201b$x`"});
    HeapWide line;
    ASSERT_EQ(ComposeCommandLine(line, u"C:\\P\\pwsh.exe", u"-c", file.head, LineReader::kPowerShell).result,
              LineResult::kComposed);
    const std::u16string literal = u"\"'C:\\a''b\u201a\u201a\u201b\u201b$x`'\"";
    ASSERT_GE(Line(line).size(), literal.size());
    EXPECT_EQ(Line(line).substr(Line(line).size() - literal.size()), literal);
}

TEST(ComposeCommandLine, InterpreterRefusesNamesItWouldAlter) {
    const struct {
        std::initializer_list<std::u16string> files;
        int32_t refused;         // -1: composed
        int32_t programRefused;  // the same for a program
    } cases[] = {
        {{u"C:\\a", u"C:\\100%.txt"}, 1, -1},
        {{u"C:\\%OS%", u"C:\\b"}, 0, -1},
        {{u"C:\\a", u"C:\\b", u"C:\\hi!"}, 2, -1},
        {{u"C:\\q\"x"}, 0, 0},
        {{u"C:\\a", std::u16string(u"C:\\new\nline")}, 1, 1},
        {{u"C:\\plain.txt\t--injected"}, 0, 0},
        {{u"C:\\(a) ^b &c; d,e=f"}, -1, -1},
    };
    for (const auto& c : cases) {
        FileList files(c.files);
        HeapWide line;
        line.AssignExact(u"old", 3);
        const LineOutcome outcome = ComposeCommandLine(line, u"C:\\R.BAT", u"", files.head, LineReader::kInterpreter);
        EXPECT_EQ(outcome.refusedIndex, c.refused);
        EXPECT_EQ(outcome.result, c.refused < 0 ? LineResult::kComposed : LineResult::kNameRefused);
        if (c.refused >= 0) {
            EXPECT_TRUE(line.Empty());
        }
        // A program is refused only " and control characters.
        const LineOutcome program = ComposeCommandLine(line, u"C:\\R.EXE", u"", files.head, LineReader::kProgram);
        EXPECT_EQ(program.refusedIndex, c.programRefused);
        EXPECT_EQ(program.result, c.programRefused < 0 ? LineResult::kComposed : LineResult::kNameRefused);
    }
    // PowerShell refuses only what its literal cannot hold.
    FileList quoted({u"C:\\100% hi!", u"C:\\q\"x"});
    HeapWide line;
    const LineOutcome outcome = ComposeCommandLine(line, u"C:\\P\\pwsh.exe", u"", quoted.head, LineReader::kPowerShell);
    EXPECT_EQ(outcome.result, LineResult::kNameRefused);
    EXPECT_EQ(outcome.refusedIndex, 1);
}

TEST(ComposeCommandLine, PlaceholderWhereItsReaderCannotTakeAFileIsRefused) {
    const struct {
        const char16_t* program;
        const char16_t* arguments;
    } cases[] = {
        {u"C:\\W\\cmd.exe", u"%1 /c x.cmd"},                              // among the interpreter's own switches
        {u"C:\\T\\run.bat", u"^%1"},                                       // a caret waits for it
        {u"C:\\T\\run.bat", u"^\"%1"},                                     // the two readings disagree
        {u"C:\\P\\pwsh.exe", u"-Command \"Write-Host '%1'\""},             // inside a PowerShell string
        {u"C:\\P\\pwsh.exe", u"-Command \"Write-Host \\\"%1\\\"\""},
    };
    FileList one({u"C:\\A"});
    for (const auto& c : cases) {
        HeapWide line;
        EXPECT_EQ(ComposeCommandLine(line, c.program, c.arguments, one.head, ReaderOf(c.program, c.arguments)).result,
                  LineResult::kPlaceholderRefused)
            << std::string(c.arguments, c.arguments + WideLength(c.arguments));
        EXPECT_TRUE(line.Empty());
    }
}

TEST(ComposeCommandLine, LineOverTheLimitIsReportedNotCut) {
    // "P" in quotes, a space, the empty arguments, a space and the name (in
    // quotes for the interpreter): the line just fits, then is one unit over.
    const struct {
        LineReader reader;
        int32_t fittingName;
        int32_t limit;
    } cases[] = {
        {LineReader::kProgram, kCommandLineLimit - 6, kCommandLineLimit - 1},
        {LineReader::kInterpreter, kInterpreterLineLimit - 7, kInterpreterLineLimit},
        {LineReader::kBatchFile, kBatchFileLineLimit - 7, kBatchFileLineLimit},
    };
    for (const auto& c : cases) {
        for (const int32_t nameLength : {c.fittingName, c.fittingName + 1}) {
            FileList files({std::u16string(static_cast<size_t>(nameLength), u'n')});
            HeapWide line;
            const LineOutcome outcome = ComposeCommandLine(line, u"P", u"", files.head, c.reader);
            const bool fits = nameLength == c.fittingName;
            EXPECT_EQ(outcome.length, c.limit + (fits ? 0 : 1));
            EXPECT_EQ(outcome.limit, c.limit);
            EXPECT_EQ(outcome.result, fits ? LineResult::kComposed : LineResult::kTooLong);
            EXPECT_EQ(line.Length(), fits ? outcome.length : 0);
        }
    }
}

TEST(ComposeCommandLine, AllocationFailureLeavesNoLine) {
    HeapWide line;
    TextHeap failing = {[](size_t) -> void* { return nullptr; }, std::free};
    TextHeap previous = SetTextHeap(failing);
    const LineOutcome outcome = ComposeCommandLine(line, u"C:\\P.EXE", u"args", nullptr, LineReader::kProgram);
    SetTextHeap(previous);
    EXPECT_EQ(outcome.result, LineResult::kNoMemory);
    EXPECT_TRUE(line.Empty());
}

}  // namespace
