// Fuzz target for catalogue/CommandLine.h: command lines for the command
// interpreter, checked against a model of how the interpreter reads a line.
//
// The input is split at its zero bytes: the first part is the link's
// arguments, every further part one file name (at most 8). Each byte is
// mapped onto an alphabet rich in what the interpreter treats specially;
// bytes from 0xF0 take the next byte as the low half of any UTF-16 unit.
// The program is a batch file or cmd.exe, chosen by the input's length;
// one choice of cmd.exe puts "/c " before the arguments.
//
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

const char16_t kAlphabet[] = u"a\\ \"%!^&|<>(),;=\t\n\r.:~@#$'-_{}[]+`Z9\u0416\u00e9\u4e2d\u3000/cK";

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

bool IsSyntax(char16_t c) {
    return c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'(' || c == u')';
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char16_t* const kPrograms[] = {u"C:\\T\\RUN.CMD", u"C:\\a b\\x.bat", u"C:\\W\\cmd.exe",
                                                u"C:\\W\\CMD.EXE"};
    const char16_t* program = kPrograms[size % 4];
    FUZZ_CHECK(InterpreterParses(program));

    size_t i = 0;
    const std::u16string arguments = (size % 4 == 3 ? u"/c " : u"") + Decode(data, size, i);
    const LineReader reader = ReaderOf(program, arguments.c_str());
    const bool commandSwitch = reader == LineReader::kCommandSwitch;
    FUZZ_CHECK(commandSwitch || reader == LineReader::kInterpreter);
    std::vector<std::u16string> names;
    while (i < size && names.size() < 8) names.push_back(Decode(data, size, i));
    WideTextNode* files = nullptr;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        FUZZ_CHECK(PushWide(&files, it->c_str(), static_cast<int32_t>(it->size())));
    }

    HeapWide line;
    const LineOutcome outcome = ComposeCommandLine(line, program, arguments.c_str(), files, reader);
    FreeWideList(&files);

    size_t firstRefused = names.size();
    for (size_t k = 0; k < names.size() && firstRefused == names.size(); ++k) {
        if (CannotPass(names[k])) firstRefused = k;
    }
    if (firstRefused < names.size()) {
        FUZZ_CHECK(outcome.result == LineResult::kNameRefused);
        FUZZ_CHECK(outcome.refusedIndex == static_cast<int32_t>(firstRefused));
        FUZZ_CHECK(line.Empty());
        return 0;
    }
    FUZZ_CHECK(outcome.limit == kInterpreterLineLimit);
    if (outcome.result == LineResult::kTooLong) {
        FUZZ_CHECK(outcome.length > kInterpreterLineLimit && line.Empty());
        return 0;
    }
    FUZZ_CHECK(outcome.result == LineResult::kComposed);
    FUZZ_CHECK(outcome.length == line.Length() && outcome.length <= kInterpreterLineLimit);
    const std::u16string text(line.Text(), static_cast<size_t>(line.Length()));
    if (names.empty()) return 0;

    WideTextNode* plain = nullptr;
    FUZZ_CHECK(PushWide(&plain, u"A", 1));
    HeapWide reference;
    const LineResult referenceResult = ComposeCommandLine(reference, program, arguments.c_str(), plain, reader).result;
    FreeWideList(&plain);
    if (referenceResult == LineResult::kTooLong) return 0;
    FUZZ_CHECK(referenceResult == LineResult::kComposed);
    // Less ' "A"', and the wrapping quote behind it for a switch.
    const size_t tail = commandSwitch ? 5 : 4;
    const std::u16string prefix(reference.Text(), static_cast<size_t>(reference.Length()) - tail);
    FUZZ_CHECK(text.compare(0, prefix.size(), prefix) == 0);

    const std::vector<std::u16string> parameters = ParametersFrom(CommandText(text, commandSwitch), prefix.size());
    FUZZ_CHECK(parameters.size() == names.size());
    for (size_t k = 0; k < names.size(); ++k) FUZZ_CHECK(parameters[k] == u"\"" + names[k] + u"\"");
    return 0;
}
