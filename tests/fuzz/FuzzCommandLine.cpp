// Fuzz target for catalogue/CommandLine.h: command lines for the command
// interpreter, checked against a model of how the interpreter reads a line.
//
// The input is split at its zero bytes: the first part is the link's
// arguments, every further part one file name (at most 8). Each byte is
// mapped onto an alphabet rich in what the interpreter treats specially;
// bytes from 0xF0 take the next byte as the low half of any UTF-16 unit.
// The program's name is chosen by the input's length from spellings of the
// interpreters, of PowerShell, of programs that relay their line and of
// plain programs, with trailing dots and spaces from the first byte; one
// choice puts "/c " before the arguments.
//
// The resolved-name rule, modelled apart from the product: the platform
// runs the last path component without its trailing dots and spaces, with
// ".exe" added when no extension is left; a ':' in it is a stream suffix.
// ReaderOf must pick the reader that name calls for: the interpreter for
// cmd.exe, .bat and .cmd, PowerShell (or, after -File, the program) for
// powershell.exe and pwsh.exe, kRefused for wt.exe, conhost.exe, wsl.exe
// and a stream, else the program. Files for kRefused are refused whole.
//
// For a program the model reads the line by the C runtime's argv rules
// (2n backslashes and a quote give n and toggle quotes, 2n + 1 give n and a
// literal quote, "" inside quotes a literal quote): behind the arguments
// and their closing the arguments are exactly the names, in list order; a
// name holding " or a control character is refused.
//
// For the interpreter:
// The model reads the line as the interpreter does:
//  0. for cmd.exe with a switch /c, /k or /r (the first "/" followed by one
//     of those letters, any case), only the text behind the switch is read
//     as a command line, after its quote rule: when that text, from its
//     first non-blank, starts with a quote and holds other than exactly two
//     quotes, its first and its last quote are removed (with exactly two the
//     quotes may stay: the model keeps them);
//  1. outside quotes a caret is dropped and takes the next character
//     literally; a quote toggles quotes; & | < > ( ) outside quotes (and not
//     escaped) are command syntax; % and ! expand wherever they stand;
//  2. the batch file's parameters are split from what step 1 left: every
//     quote toggles a group, and outside a group spaces, tabs , ; = separate.
// Checks, besides what the sanitizers see:
//  - a composed line starts with the line composed for the same program and
//    arguments with one plain file, up to that file (so the files stand
//    behind the arguments and their closing, if any);
//  - behind that point there is no command syntax, no % or ! and no control
//    character, and the parameters there are exactly the names, each in
//    quotes, in list order: every name reaches the batch file whole, as
//    one parameter;
//  - a refused list names the first file that holds %, !, " or a control
//    character, and no earlier file holds one;
//  - the line's reported length is its length.
//
// Placeholders (%1, %l, %L, %*: every file of the line at each of them):
// the line is composed once more with a marker (a private-use character of
// its own) for each name, and read by the model of its reader: a program's
// arguments (C runtime rules) or, for the interpreter, its syntax outside
// quotes and the batch file's parameters. Reading the real line must give
// what reading the marked line gives with each marker replaced by its name
// (and the backslash run at the name's end doubled where a quote follows,
// which the program behind a batch file reads back as one run); the real
// line holds no more command syntax than the marked one. The marked line
// composing where the real one is refused, or the other way round, is a
// fault too. Empty names and names of backslashes only, which no selection
// holds (a path starts with a drive or a server name), are left out here.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/CommandLine.h"

namespace {

[[noreturn]] void Fail(const char* check, int line) {
    std::fprintf(stderr, "FuzzCommandLine.cpp:%d: check failed: %s\n", line, check);
    std::abort();
}

#define FUZZ_CHECK(cond)                     \
    do {                                     \
        if (!(cond)) Fail(#cond, __LINE__);  \
    } while (0)

const char16_t kAlphabet[] = u"a\\ \"%!^&|<>(),;=\t\n\r.:~@#$'-_{}[]+`Z9\u0416\u00e9\u4e2d\u3000/cK%1%*L";

std::u16string Decode(const uint8_t* data, size_t size, size_t& i) {
    std::u16string text;
    for (; i < size && data[i] != 0; ++i) {
        if (data[i] >= 0xF0 && i + 1 < size) {
            const char16_t unit = static_cast<char16_t>(((data[i] & 0x0F) << 12) | data[i + 1]);
            ++i;
            if (unit != 0) text += unit;
        } else {
            text += kAlphabet[data[i] % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
        }
    }
    ++i;  // past the zero
    return text;
}

bool CannotPass(const std::u16string& name) {
    for (char16_t c : name) {
        if (c == u'%' || c == u'!' || c == u'"' || c < 0x20) return true;
    }
    return false;
}

bool ProgramCannotPass(const std::u16string& name) {
    for (char16_t c : name) {
        if (c == u'"' || c < 0x20) return true;
    }
    return false;
}

bool IsSyntax(char16_t c) {
    return c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'(' || c == u')';
}

// The reader the resolved-name rule calls for (`script`: what PowerShell
// does with the arguments, decided elsewhere).
LineReader ModelReader(const std::u16string& program, bool commandSwitch, LineReader script) {
    const size_t slash = program.find_last_of(u"\\/");
    std::u16string name = program.substr(slash == std::u16string::npos ? 0 : slash + 1);
    if (slash == std::u16string::npos && name.size() >= 2 && name[1] == u':') name = name.substr(2);
    if (name.find(u':') != std::u16string::npos) return LineReader::kRefused;
    const size_t kept = name.find_last_not_of(u". ");
    if (kept != std::u16string::npos) name.resize(kept + 1);
    if (kept != std::u16string::npos && name.find(u'.') == std::u16string::npos) name += u".exe";
    for (char16_t& c : name) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    const auto ends = [&](const std::u16string& suffix) {
        return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (name == u"cmd.exe") return commandSwitch ? LineReader::kCommandSwitch : LineReader::kInterpreter;
    if (ends(u".bat") || ends(u".cmd")) return LineReader::kBatchFile;
    if (name == u"powershell.exe" || name == u"pwsh.exe") return script;
    if (name == u"wt.exe" || name == u"conhost.exe" || name == u"wsl.exe") return LineReader::kRefused;
    return LineReader::kProgram;
}

// The C runtime's arguments of `line` behind its quoted program, each with
// the index in the line where it starts.
std::vector<std::pair<std::u16string, size_t>> CrtArguments(const std::u16string& line) {
    std::vector<std::pair<std::u16string, size_t>> arguments;
    size_t i = line.find(u'"', 1) + 1;
    const size_t n = line.size();
    while (true) {
        while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
        if (i >= n) break;
        const size_t start = i;
        std::u16string argument;
        bool quoted = false;
        while (i < n) {
            if (line[i] == u'\\') {
                size_t k = 0;
                while (i < n && line[i] == u'\\') ++k, ++i;
                if (i < n && line[i] == u'"') {
                    argument.append(k / 2, u'\\');
                    if (k % 2 == 1) argument += line[i++];
                } else {
                    argument.append(k, u'\\');
                }
                continue;
            }
            if (line[i] == u'"') {
                if (quoted && i + 1 < n && line[i + 1] == u'"') {
                    argument += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            if (!quoted && (line[i] == u' ' || line[i] == u'\t')) break;
            argument += line[i++];
        }
        arguments.emplace_back(argument, start);
    }
    return arguments;
}

bool IsSeparator(char16_t c) { return c == u' ' || c == u'\t' || c == u',' || c == u';' || c == u'='; }

// One character left by the model's first reading, with where it came from.
struct Kept {
    char16_t c;
    size_t from;  // index in the line
};

// What the interpreter reads of `line` as a command line, each unit with its
// index in the line: all of it, or for cmd.exe with a switch the text behind
// the switch after its quote rule (step 0).
std::vector<Kept> CommandText(const std::u16string& line, bool commandSwitch) {
    std::vector<Kept> text;
    size_t start = 0;
    if (commandSwitch) {
        const size_t program = line.find(u'"', 1) + 1;  // behind the quoted program path
        start = line.size();
        for (size_t i = program; i + 1 < line.size(); ++i) {
            const char16_t c = line[i + 1];
            if (line[i] == u'/' && (c == u'c' || c == u'C' || c == u'k' || c == u'K' || c == u'r' || c == u'R')) {
                start = i + 2;
                break;
            }
        }
    }
    for (size_t i = start; i < line.size(); ++i) text.push_back({line[i], i});
    if (!commandSwitch) return text;
    size_t first = 0;
    while (first < text.size() && (text[first].c == u' ' || text[first].c == u'\t')) ++first;
    size_t quotes = 0;
    for (const Kept& k : text) quotes += k.c == u'"' ? 1 : 0;
    if (first < text.size() && text[first].c == u'"' && quotes != 2) {
        size_t last = text.size() - 1;
        while (text[last].c != u'"') --last;
        text.erase(text.begin() + static_cast<std::ptrdiff_t>(last));
        text.erase(text.begin() + static_cast<std::ptrdiff_t>(first));
    }
    return text;
}

// Reads `units` as the model's interpreter; checks that nothing from line
// index `from` onwards is command syntax or expands, and returns the
// parameters that start at or behind `from`.
std::vector<std::u16string> ParametersFrom(const std::vector<Kept>& units, size_t from) {
    std::vector<Kept> kept;
    bool quoted = false;
    bool escaped = false;
    bool reached = false;
    for (const Kept& unit : units) {
        const char16_t c = unit.c;
        if (unit.from >= from && !reached) {
            reached = true;
            FUZZ_CHECK(!quoted && !escaped);  // the files start outside quotes, no caret waiting
        }
        if (unit.from >= from) {
            FUZZ_CHECK(c != u'%' && c != u'!' && c >= 0x20);
        }
        if (escaped) {
            escaped = false;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u'^') {
            escaped = true;
            continue;
        } else if (!quoted && IsSyntax(c)) {
            FUZZ_CHECK(unit.from < from);
        }
        kept.push_back(unit);
    }
    FUZZ_CHECK(reached);
    std::vector<std::u16string> parameters;
    bool grouped = false;
    bool inParameter = false;
    bool collecting = false;
    for (const Kept& k : kept) {
        if (k.from == from) {
            FUZZ_CHECK(!grouped);
        }
        if (!grouped && IsSeparator(k.c)) {
            inParameter = false;
            continue;
        }
        if (!inParameter) {
            inParameter = true;
            collecting = k.from >= from;
            if (collecting) parameters.emplace_back();
        } else if (k.from == from) {
            Fail("a parameter runs from the arguments into the files", __LINE__);
        }
        if (k.c == u'"') grouped = !grouped;
        if (collecting) parameters.back() += k.c;
    }
    FUZZ_CHECK(!grouped);
    return parameters;
}

// The interpreter's reading of a whole line (steps 0 to 2): its batch
// parameters, and how many units it took as command syntax.
struct Reading {
    std::vector<std::u16string> parameters;
    int syntax = 0;
};
Reading ReadAsInterpreter(const std::u16string& line, bool commandSwitch) {
    Reading reading;
    std::vector<char16_t> kept;
    bool quoted = false;
    bool escaped = false;
    for (const Kept& unit : CommandText(line, commandSwitch)) {
        const char16_t c = unit.c;
        if (escaped) {
            escaped = false;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u'^') {
            escaped = true;
            continue;
        } else if (!quoted && IsSyntax(c)) {
            ++reading.syntax;
        }
        kept.push_back(c);
    }
    bool grouped = false;
    bool inParameter = false;
    for (char16_t c : kept) {
        if (!grouped && IsSeparator(c)) {
            inParameter = false;
            continue;
        }
        if (!inParameter) reading.parameters.emplace_back();
        inParameter = true;
        if (c == u'"') grouped = !grouped;
        reading.parameters.back() += c;
    }
    return reading;
}

constexpr char16_t kMarker = 0xE000;  // the marker of name k is kMarker + k

// `text` with every marker replaced by its name; with `doubleBeforeQuote`
// a name's trailing backslash run is doubled when, past backslashes, a
// quote follows the marker.
std::u16string Unmark(const std::u16string& text, const std::vector<std::u16string>& names, bool doubleBeforeQuote) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < kMarker || c >= kMarker + names.size()) {
            out += c;
            continue;
        }
        const std::u16string& name = names[c - kMarker];
        out += name;
        size_t next = i + 1;
        while (next < text.size() && text[next] == u'\\') ++next;
        if (doubleBeforeQuote && next < text.size() && text[next] == u'"') {
            const size_t kept = name.find_last_not_of(u'\\');
            out.append(name.size() - (kept == std::u16string::npos ? 0 : kept + 1), u'\\');
        }
    }
    return out;
}

// Checks a line composed for arguments with placeholders (see the top).
void CheckPlaceholders(const std::u16string& program, const std::u16string& arguments,
                       const std::vector<std::u16string>& names, LineReader reader, const LineOutcome& outcome,
                       const std::u16string& text) {
    for (char16_t c : arguments) {
        if (c >= kMarker && c < kMarker + 8) return;  // a marker of the input's own
    }
    for (const std::u16string& name : names) {
        if (name.find_first_not_of(u'\\') == std::u16string::npos) return;
    }
    WideTextNode* marked = nullptr;
    for (size_t k = names.size(); k-- > 0;) {
        const char16_t marker = static_cast<char16_t>(kMarker + k);
        FUZZ_CHECK(PushWide(&marked, &marker, 1));
    }
    HeapWide reference;
    const LineOutcome expected = ComposeCommandLine(reference, program.c_str(), arguments.c_str(), marked, reader);
    FreeWideList(&marked);
    FUZZ_CHECK((outcome.result == LineResult::kPlaceholderRefused) ==
               (expected.result == LineResult::kPlaceholderRefused));
    if (outcome.result != LineResult::kComposed || expected.result != LineResult::kComposed) return;
    const std::u16string marks(reference.Text(), static_cast<size_t>(reference.Length()));
    if (reader == LineReader::kProgram) {
        const auto got = CrtArguments(text);
        const auto want = CrtArguments(marks);
        FUZZ_CHECK(got.size() == want.size());
        for (size_t k = 0; k < got.size(); ++k) FUZZ_CHECK(got[k].first == Unmark(want[k].first, names, false));
        return;
    }
    const bool commandSwitch = reader == LineReader::kCommandSwitch;
    const Reading got = ReadAsInterpreter(text, commandSwitch);
    const Reading want = ReadAsInterpreter(marks, commandSwitch);
    FUZZ_CHECK(got.syntax == want.syntax);
    FUZZ_CHECK(got.parameters.size() == want.parameters.size());
    for (size_t k = 0; k < got.parameters.size(); ++k) {
        FUZZ_CHECK(got.parameters[k] == Unmark(want.parameters[k], names, true));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char16_t* const kPrograms[] = {
        u"C:\\T\\RUN.CMD", u"C:\\a b\\x.bat", u"C:\\W\\cmd.exe", u"C:\\W\\CMD.EXE", u"C:\\W\\cmd",
        u"C:cmd", u"C:/W/Cmd.Exe", u"C:\\P\\powershell", u"C:\\P\\pwsh.exe", u"C:\\W\\wt",
        u"C:\\W\\conhost.exe", u"C:\\W\\WSL", u"C:\\T\\run.bat::$DATA", u"C:\\W\\NOTEPAD.EXE",
        u"C:\\T\\mycmd.exe", u"C:\\T\\x.bat.exe", u"C:\\T\\tool"};
    constexpr size_t kProgramCount = sizeof kPrograms / sizeof kPrograms[0];
    std::u16string program = kPrograms[size % kProgramCount];
    // Trailing dots and spaces, which the platform drops: from the first
    // byte's top bits.
    for (uint8_t bits = size > 0 ? static_cast<uint8_t>(data[0] >> 5) : 0; bits != 0; bits >>= 1) {
        program += (bits & 1) != 0 ? u'.' : u' ';
    }

    size_t i = 0;
    const std::u16string arguments = ((size / kProgramCount) % 2 == 1 ? u"/c " : u"") + Decode(data, size, i);
    const LineReader reader = ReaderOf(program.c_str(), arguments.c_str());
    const bool commandSwitch = reader == LineReader::kCommandSwitch;
    const LineReader script = reader == LineReader::kPowerShell ? reader : LineReader::kProgram;
    FUZZ_CHECK(reader == ModelReader(program, arguments.find(u"/c") != std::u16string::npos ||
                                                  arguments.find(u"/C") != std::u16string::npos ||
                                                  arguments.find(u"/k") != std::u16string::npos ||
                                                  arguments.find(u"/K") != std::u16string::npos ||
                                                  arguments.find(u"/r") != std::u16string::npos ||
                                                  arguments.find(u"/R") != std::u16string::npos,
                                         script));
    const bool interpreter = reader == LineReader::kInterpreter || reader == LineReader::kBatchFile || commandSwitch;
    std::vector<std::u16string> names;
    while (i < size && names.size() < 8) names.push_back(Decode(data, size, i));
    WideTextNode* files = nullptr;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        FUZZ_CHECK(PushWide(&files, it->c_str(), static_cast<int32_t>(it->size())));
    }

    HeapWide line;
    const LineOutcome outcome = ComposeCommandLine(line, program.c_str(), arguments.c_str(), files, reader);
    FreeWideList(&files);
    if (reader == LineReader::kRefused && !names.empty()) {
        FUZZ_CHECK(outcome.result == LineResult::kProgramRefused && line.Empty());
        return 0;
    }
    if (!interpreter && reader != LineReader::kProgram && reader != LineReader::kRefused) return 0;  // PowerShell

    size_t firstRefused = names.size();
    for (size_t k = 0; k < names.size() && firstRefused == names.size(); ++k) {
        if (interpreter ? CannotPass(names[k]) : ProgramCannotPass(names[k])) firstRefused = k;
    }
    if (firstRefused < names.size()) {
        FUZZ_CHECK(outcome.result == LineResult::kNameRefused);
        FUZZ_CHECK(outcome.refusedIndex == static_cast<int32_t>(firstRefused));
        FUZZ_CHECK(line.Empty());
        return 0;
    }
    const int32_t limit = reader == LineReader::kBatchFile ? kBatchFileLineLimit
                          : interpreter                    ? kInterpreterLineLimit
                                                           : kCommandLineLimit - 1;
    FUZZ_CHECK(outcome.limit == limit);
    if (outcome.result == LineResult::kTooLong) {
        FUZZ_CHECK(outcome.length > limit && line.Empty());
        return 0;
    }
    if (PlaceholdersOf(arguments.c_str()) != Placeholders::kNone) {
        if (outcome.result == LineResult::kComposed) {
            FUZZ_CHECK(outcome.length == line.Length() && outcome.length <= limit);
        } else {
            FUZZ_CHECK(outcome.result == LineResult::kPlaceholderRefused && line.Empty());
        }
        if (names.empty()) {
            FUZZ_CHECK(outcome.result == LineResult::kComposed);
            return 0;
        }
        CheckPlaceholders(program, arguments, names, reader, outcome,
                          std::u16string(line.Text(), static_cast<size_t>(line.Length())));
        return 0;
    }
    FUZZ_CHECK(outcome.result == LineResult::kComposed);
    FUZZ_CHECK(outcome.length == line.Length() && outcome.length <= limit);
    const std::u16string text(line.Text(), static_cast<size_t>(line.Length()));
    if (names.empty()) return 0;

    WideTextNode* plain = nullptr;
    FUZZ_CHECK(PushWide(&plain, u"A", 1));
    HeapWide reference;
    const LineResult referenceResult =
        ComposeCommandLine(reference, program.c_str(), arguments.c_str(), plain, reader).result;
    FreeWideList(&plain);
    if (referenceResult == LineResult::kTooLong) return 0;
    FUZZ_CHECK(referenceResult == LineResult::kComposed);
    // Less ' "A"' (' A' for a program), and the wrapping quote behind it for a switch.
    const size_t tail = commandSwitch ? 5 : interpreter ? 4 : 2;
    const std::u16string prefix(reference.Text(), static_cast<size_t>(reference.Length()) - tail);
    FUZZ_CHECK(text.compare(0, prefix.size(), prefix) == 0);

    if (!interpreter) {
        // No argument runs from the arguments into the files; behind them, the names.
        std::vector<std::u16string> behind;
        for (const auto& argument : CrtArguments(text)) {
            if (argument.second < prefix.size()) continue;
            behind.push_back(argument.first);
        }
        FUZZ_CHECK(behind.size() == names.size());
        for (size_t k = 0; k < names.size(); ++k) FUZZ_CHECK(behind[k] == names[k]);
        return 0;
    }

    const std::vector<std::u16string> parameters = ParametersFrom(CommandText(text, commandSwitch), prefix.size());
    FUZZ_CHECK(parameters.size() == names.size());
    // Each name in quotes, a backslash run at its end doubled inside them.
    for (size_t k = 0; k < names.size(); ++k) {
        const size_t kept = names[k].find_last_not_of(u'\\');
        const size_t run = names[k].size() - (kept == std::u16string::npos ? 0 : kept + 1);
        FUZZ_CHECK(parameters[k] == u"\"" + names[k] + std::u16string(run, u'\\') + u"\"");
    }
    return 0;
}
