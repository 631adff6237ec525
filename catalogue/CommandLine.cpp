#include "catalogue/CommandLine.h"

#include <climits>

namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// True when a program reading `name` by the C runtime's rules needs it in
// quotes to take it as one argument, or when its own reading of commas
// splits it: empty, or holding a blank (a tab is refused before it comes to
// this) or a comma.
bool ProgramNeedsQuotes(const char16_t* name) {
    if (*name == 0) return true;
    for (; *name != 0; ++name) {
        if (*name == u' ' || *name == u'\t' || *name == u',') return true;
    }
    return false;
}

// Backslashes at the end of `name`: inside quotes the C runtime would read
// them with the closing quote as an escaped quote, so they are written twice.
int32_t TrailingBackslashes(const char16_t* name, int32_t length) {
    int32_t n = 0;
    while (n < length && name[length - 1 - n] == u'\\') ++n;
    return n;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// True when the name `run` stands for ends in `suffix` (lower-case ASCII),
// case aside: the component as far as it counts, then ".exe" when added.
bool RunNameEndsWith(const RunName& run, const char16_t* suffix) {
    static const char16_t kExe[] = u".exe";
    const int32_t n = WideLength(suffix);
    const int32_t total = run.length + (run.addsExe ? 4 : 0);
    if (total < n) return false;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t at = total - n + i;
        const char16_t c = at < run.length ? run.component[at] : kExe[at - run.length];
        if (LowerAscii(c) != suffix[i]) return false;
    }
    return true;
}

// True when the name `run` stands for is `name` (lower-case ASCII), case aside.
bool RunNameIs(const RunName& run, const char16_t* name) {
    return run.length + (run.addsExe ? 4 : 0) == WideLength(name) && RunNameEndsWith(run, name);
}

// Where the command text of cmd.exe starts in `arguments`: just behind the
// first switch /c, /k or /r (any case), as the interpreter looks for it; -1
// when there is none.
int32_t CommandSwitchEnd(const char16_t* arguments) {
    for (int32_t i = 0; arguments[i] != 0; ++i) {
        if (arguments[i] != u'/') continue;
        const char16_t c = LowerAscii(arguments[i + 1]);
        if (c == u'c' || c == u'k' || c == u'r') return i + 2;
    }
    return -1;
}

// True when the `length` units at `word` equal one of `names` (lower-case
// ASCII, the list ends with a null), case aside.
bool WordIsOneOf(const char16_t* word, int32_t length, const char16_t* const* names) {
    for (; *names != nullptr; ++names) {
        if (WideLength(*names) != length) continue;
        int32_t i = 0;
        while (i < length && LowerAscii(word[i]) == (*names)[i]) ++i;
        if (i == length) return true;
    }
    return false;
}

// True when PowerShell takes `arguments` (and the files behind them) as
// script text: unless -File comes first, everything from -Command, from an
// encoded command or from the first word that is no parameter on is script.
// Parameters start with - or /; the value of a parameter that takes one is
// skipped. What cannot be told apart counts as script, where a name is
// passed as a literal.
bool PowerShellTakesScript(const char16_t* arguments) {
    static const char16_t* const kFile[] = {u"f", u"fi", u"fil", u"file", nullptr};
    static const char16_t* const kScript[] = {
        u"c", u"com", u"comm", u"comma", u"comman", u"command", u"cwa", u"commandwithargs",
        u"e", u"ec", u"enc", u"encodedcommand", nullptr};
    static const char16_t* const kTakesValue[] = {
        u"executionpolicy", u"ex", u"ep", u"windowstyle", u"w", u"workingdirectory", u"wd",
        u"version", u"v", u"inputformat", u"inp", u"if", u"outputformat", u"o", u"of",
        u"configurationname", u"config", u"configurationfile", u"settingsfile", u"custompipename",
        u"psconsolefile", nullptr};
    bool skipValue = false;
    const char16_t* p = arguments;
    while (true) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) return true;
        const char16_t* word = p;
        bool quoted = false;
        while (*p != 0 && (quoted || !IsBlank(*p))) {
            if (*p == u'"') quoted = !quoted;
            ++p;
        }
        if (skipValue) {
            skipValue = false;
            continue;
        }
        if (*word != u'-' && *word != u'/') return true;  // a positional word starts the script
        ++word;
        if (*word == u'-') ++word;
        const int32_t length = static_cast<int32_t>(p - word);
        if (WordIsOneOf(word, length, kFile)) return false;
        if (WordIsOneOf(word, length, kScript)) return true;
        skipValue = WordIsOneOf(word, length, kTakesValue);
    }
}

// How the interpreter stands after reading a line from its start. It reads
// the line twice:
// - for command syntax: a quote toggles `quoted`; outside quotes a caret is
//   dropped and takes the next character literally (so ^" opens nothing);
// - for a batch file's parameters, over what the first reading left (carets
//   gone): every quote toggles `grouped`, and outside a group spaces, tabs
//   , ; and = separate parameters.
struct QuoteScan {
    bool quoted = false;   // inside quotes for command syntax
    bool escaped = false;  // a caret outside quotes waits for its character
    bool grouped = false;  // inside quotes for parameter splitting

    void Feed(const char16_t* text) {
        for (; *text != 0; ++text) {
            if (escaped) {
                escaped = false;
            } else if (*text == u'"') {
                quoted = !quoted;
            } else if (!quoted && *text == u'^') {
                escaped = true;
                continue;  // dropped: the parameters never see it
            }
            if (*text == u'"') grouped = !grouped;
        }
    }
};

// What must follow `text` so that both readings stand outside quotes with
// no caret waiting: a space for a waiting caret to take, a quote to close an
// open one, an escaped quote to close a parameter group that an escaped
// quote opened. Empty for a text that leaves nothing open.
const char16_t* InterpreterClosing(const QuoteScan& scan) {
    static const char16_t* const kClosings[8] = {u"", u"^\"", u"\"", u"\"^\"", u" ", u" ^\"", u" \"", u" \"^\""};
    // A waiting caret stands outside quotes and takes the space: the quote
    // states are those after the caret's character, which a space leaves.
    bool grouped = scan.grouped;
    if (scan.quoted) grouped = !grouped;  // the closing quote toggles both readings
    return kClosings[(scan.escaped ? 4 : 0) + (scan.quoted ? 2 : 0) + (grouped ? 1 : 0)];
}

// How many backslashes must precede a quote that closes `arguments` for a
// program reading them by the C runtime's rules, or -1 when they leave no
// quote open. Backslashes count only before a quote: 2n give n and the quote
// toggles, 2n + 1 give n and a literal quote; inside quotes "" gives a
// literal quote. A run of backslashes at the end is doubled by as many more
// before the closing quote, so that the program gets them as they are.
int32_t ProgramClosingBackslashes(const char16_t* arguments) {
    bool quoted = false;
    int32_t backslashes = 0;
    for (const char16_t* p = arguments; *p != 0; ++p) {
        if (*p == u'\\') {
            ++backslashes;
            continue;
        }
        if (*p == u'"' && backslashes % 2 == 0) {
            if (quoted && p[1] == u'"') {
                ++p;
            } else {
                quoted = !quoted;
            }
        }
        backslashes = 0;
    }
    return quoted ? backslashes : -1;
}

// The pieces of a line: "program" head [wrapOpen] inner closing FILES [wrapClose].
struct LinePlan {
    const char16_t* program;    // the program path, written in quotes
    const char16_t* head;       // the arguments, written first
    int32_t headLength;         // units of `head` written: all, or for a switch up to the text behind it
    const char16_t* gap;        // between head and the opening wrap quote; empty without a wrap
    bool wrapped;               // cmd.exe with a switch: the text after it in one more pair of quotes
    const char16_t* inner;      // the arguments from where the wrap starts; empty without a wrap
    const char16_t* closing;    // interpreter closing, or the quote of a program's closing
    int32_t closingBackslashes; // program closing: backslashes before its quote
    LineReader reader;          // who reads the files
};

LinePlan PlanLine(const char16_t* program, const char16_t* arguments, bool files, LineReader reader) {
    LinePlan plan = {program, arguments, WideLength(arguments), u"", false, u"", u"", 0, reader};
    if (!files) return plan;  // the arguments are the user's own: nothing to close or wrap
    switch (reader) {
    case LineReader::kInterpreter:
    case LineReader::kBatchFile: {
        QuoteScan scan;
        scan.Feed(u"\"");
        scan.Feed(program);
        scan.Feed(u"\" ");
        scan.Feed(arguments);
        plan.closing = InterpreterClosing(scan);
        break;
    }
    case LineReader::kCommandSwitch: {
        const int32_t at = CommandSwitchEnd(arguments);
        int32_t text = at;
        while (IsBlank(arguments[text])) ++text;
        plan.headLength = text;
        plan.gap = text == at ? u" " : u"";
        plan.wrapped = true;
        plan.inner = arguments + text;
        QuoteScan scan;
        scan.Feed(plan.inner);
        plan.closing = InterpreterClosing(scan);
        break;
    }
    case LineReader::kProgram:
    case LineReader::kRefused:
    case LineReader::kPowerShell: {
        const int32_t backslashes = ProgramClosingBackslashes(arguments);
        if (backslashes >= 0) {
            plan.closing = u"\"";
            plan.closingBackslashes = backslashes;
        }
        break;
    }
    }
    return plan;
}

// Puts "'name'" with each single quote of the name (' and U+2018 to U+201B,
// which PowerShell takes alike) twice.
template <class Put>
void PutPowerShellLiteral(Put& put, const char16_t* name) {
    put(u"\"'", 2);
    for (const char16_t* c = name; *c != 0; ++c) {
        put(c, 1);
        if (*c == u'\'' || (*c >= 0x2018 && *c <= 0x201B)) put(c, 1);
    }
    put(u"'\"", 2);
}

// Writes the line with the first `count` files, or with `out` null only
// counts its units.
int64_t WriteLine(WideBuffer* out, const LinePlan& plan, const WideTextNode* files, int32_t count) {
    int64_t n = 0;
    auto put = [&](const char16_t* text, int32_t length) {
        if (out != nullptr) out->Append(text, length);
        n += length;
    };
    put(u"\"", 1);
    put(plan.program, WideLength(plan.program));
    put(u"\" ", 2);
    put(plan.head, plan.headLength);
    put(plan.gap, WideLength(plan.gap));
    if (plan.wrapped) put(u"\"", 1);
    put(plan.inner, WideLength(plan.inner));
    for (int32_t i = 0; i < plan.closingBackslashes; ++i) put(u"\\", 1);
    put(plan.closing, WideLength(plan.closing));
    for (const WideTextNode* node = files; node != nullptr && count > 0; node = node->next, --count) {
        put(u" ", 1);
        if (plan.reader == LineReader::kPowerShell) {
            PutPowerShellLiteral(put, node->text.Text());
            continue;
        }
        const bool quote = plan.reader != LineReader::kProgram || ProgramNeedsQuotes(node->text.Text());
        if (quote) put(u"\"", 1);
        put(node->text.Text(), node->text.Length());
        if (quote) {
            for (int32_t k = TrailingBackslashes(node->text.Text(), node->text.Length()); k > 0; --k) put(u"\\", 1);
            put(u"\"", 1);
        }
    }
    if (plan.wrapped) put(u"\"", 1);
    return n;
}

// Units of the placeholder at `p` (%1, %l, %L or %*), or 0 when none starts there.
int32_t PlaceholderAt(const char16_t* p) {
    if (p[0] != u'%') return 0;
    return p[1] == u'1' || p[1] == u'l' || p[1] == u'L' || p[1] == u'*' ? 2 : 0;
}

// True when, past a run of backslashes, `text` starts with a quote: a
// backslash run written before it must be doubled to keep it one.
bool QuoteFollows(const char16_t* text) {
    while (*text == u'\\') ++text;
    return *text == u'"';
}

// A program's reading of its arguments by the C runtime's rules, fed unit
// by unit: whether a quote is open, and what PowerShell makes of the text
// the program is given (a double-quoted or a single-quoted string open).
struct CrtScan {
    bool quoted = false;        // inside quotes
    int32_t backslashes = 0;    // the run of backslashes just read
    bool scriptDouble = false;  // PowerShell: a double-quoted string is open (a literal " read)
    bool scriptSingle = false;  // PowerShell: a single-quoted string is open

    // Reads the unit at `p` (and a second quote of "" inside quotes, which
    // gives one literal quote); returns the units read.
    int32_t Feed(const char16_t* p) {
        const char16_t c = *p;
        if (c == u'\\') {
            ++backslashes;
            return 1;
        }
        int32_t used = 1;
        bool literalQuote = false;
        if (c == u'"') {
            if (backslashes % 2 == 1) {
                literalQuote = true;
            } else if (quoted && p[1] == u'"') {
                literalQuote = true;
                used = 2;
            } else {
                quoted = !quoted;
            }
        }
        backslashes = 0;
        if (literalQuote && !scriptSingle) scriptDouble = !scriptDouble;
        if (!scriptDouble && (c == u'\'' || (c >= 0x2018 && c <= 0x201B))) scriptSingle = !scriptSingle;
        return used;
    }
};

// How the files at one placeholder are written.
enum class Spot {
    kRefused,     // its reader's quoting there cannot be known
    kOpen,        // outside quotes
    kQuoted,      // inside quotes
    kScriptOpen,  // PowerShell, outside the program's quotes
    kScriptQuoted,  // PowerShell, inside the program's quotes
};

Spot SpotOf(LineReader reader, const QuoteScan& interpreter, const CrtScan& crt) {
    switch (reader) {
    case LineReader::kProgram:
    case LineReader::kRefused:
        return crt.quoted ? Spot::kQuoted : Spot::kOpen;
    case LineReader::kPowerShell:
        if (crt.scriptDouble || crt.scriptSingle) return Spot::kRefused;
        return crt.quoted ? Spot::kScriptQuoted : Spot::kScriptOpen;
    case LineReader::kInterpreter:
    case LineReader::kBatchFile:
    case LineReader::kCommandSwitch:
        if (interpreter.escaped || interpreter.quoted != interpreter.grouped) return Spot::kRefused;
        return interpreter.quoted ? Spot::kQuoted : Spot::kOpen;
    }
    return Spot::kRefused;
}

// Puts the first `count` files at one placeholder in `spot`; `quoteAfter`:
// a quote follows in the arguments.
template <class Put>
void PutPlaced(Put& put, Spot spot, LineReader reader, const WideTextNode* files, int32_t count, bool quoteAfter) {
    for (const WideTextNode* node = files; node != nullptr && count > 0; node = node->next, --count) {
        const char16_t* name = node->text.Text();
        const int32_t length = node->text.Length();
        const bool last = count == 1 || node->next == nullptr;
        const int32_t doubled = TrailingBackslashes(name, length);
        switch (spot) {
        case Spot::kOpen: {
            const bool quote = reader != LineReader::kProgram && reader != LineReader::kRefused
                                   ? true
                                   : ProgramNeedsQuotes(name) || doubled > 0;
            if (quote) put(u"\"", 1);
            put(name, length);
            if (quote) {
                for (int32_t k = doubled; k > 0; --k) put(u"\\", 1);
                put(u"\"", 1);
            }
            if (!last) put(u" ", 1);
            break;
        }
        case Spot::kQuoted:
            put(name, length);
            if (!last || quoteAfter) {
                for (int32_t k = doubled; k > 0; --k) put(u"\\", 1);
            }
            if (!last) put(u"\" \"", 3);
            break;
        case Spot::kScriptOpen:
            PutPowerShellLiteral(put, name);
            if (!last) put(u" ", 1);
            break;
        case Spot::kScriptQuoted:
            put(u"'", 1);
            for (const char16_t* c = name; *c != 0; ++c) {
                put(c, 1);
                if (*c == u'\'' || (*c >= 0x2018 && *c <= 0x201B)) put(c, 1);
            }
            put(u"'", 1);
            if (!last) put(u" ", 1);
            break;
        case Spot::kRefused:
            break;
        }
    }
}

// Writes the line with the first `count` files at every placeholder of
// `arguments`, or with `out` null only counts its units into `length`.
// False when a placeholder is refused (nothing written then).
bool WriteSubstituted(WideBuffer* out, int64_t& length, const char16_t* program, const char16_t* arguments,
                      const WideTextNode* files, int32_t count, LineReader reader) {
    length = 0;
    auto put = [&](const char16_t* text, int32_t units) {
        if (out != nullptr) out->Append(text, units);
        length += units;
    };
    const bool any = files != nullptr && count > 0;
    put(u"\"", 1);
    put(program, WideLength(program));
    put(u"\" ", 2);
    QuoteScan interpreter;
    interpreter.Feed(u"\"");
    interpreter.Feed(program);
    interpreter.Feed(u"\" ");
    CrtScan crt;
    int32_t i = 0;
    bool wrapped = false;
    if (reader == LineReader::kCommandSwitch && any) {
        // The interpreter's own switches come first: no file goes there. The
        // text behind the switch is wrapped as for appended files.
        const int32_t at = CommandSwitchEnd(arguments);
        int32_t text = at;
        while (IsBlank(arguments[text])) ++text;
        for (; i < text; ++i) {
            if (PlaceholderAt(arguments + i) != 0) return false;
            put(arguments + i, 1);
        }
        if (text == at) put(u" ", 1);
        put(u"\"", 1);
        wrapped = true;
        interpreter = QuoteScan();
    }
    while (arguments[i] != 0) {
        const int32_t placeholder = PlaceholderAt(arguments + i);
        if (placeholder != 0) {
            if (any) {
                const Spot spot = SpotOf(reader, interpreter, crt);
                if (spot == Spot::kRefused) return false;
                // A quoted name right behind a quote or a backslash, or right
                // before a quote, would be read together with it ("" inside
                // quotes is a literal quote, \" an escaped one).
                const bool crtOpen = spot == Spot::kScriptOpen ||
                                     (spot == Spot::kOpen && (reader == LineReader::kProgram || reader == LineReader::kRefused));
                const bool touching = (i > 0 && (arguments[i - 1] == u'"' || arguments[i - 1] == u'\\')) ||
                                      arguments[i + placeholder] == u'"';
                // Two placeholders side by side run their names together.
                const bool paired = PlaceholderAt(arguments + i + placeholder) != 0 ||
                                    (i >= 2 && PlaceholderAt(arguments + i - 2) != 0);
                if ((crtOpen && touching) || paired) {
                    return false;
                }
                PutPlaced(put, spot, reader, files, count, QuoteFollows(arguments + i + placeholder));
                crt.backslashes = 0;  // a name ends the run: what follows reads on its own
            }
            i += placeholder;
            continue;
        }
        const int32_t used = crt.Feed(arguments + i);
        put(arguments + i, used);
        const char16_t unit[3] = {arguments[i], used == 2 ? arguments[i + 1] : u'\0', u'\0'};
        interpreter.Feed(unit);
        i += used;
    }
    if (wrapped) put(u"\"", 1);
    return true;
}

}  // namespace

RunName RunNameOf(const char16_t* program) {
    const int32_t n = WideLength(program);
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (program[i] == u'\\' || program[i] == u'/') start = i + 1;
    }
    // A drive's colon ("C:run.bat") ends the drive, not the name.
    if (start == 0 && n >= 2 && program[1] == u':') start = 2;
    RunName run = {program + start, n - start, false, false};
    for (int32_t i = 0; i < run.length; ++i) {
        if (run.component[i] == u':') run.stream = true;
    }
    int32_t length = run.length;
    while (length > 0 && (run.component[length - 1] == u'.' || run.component[length - 1] == u' ')) --length;
    if (length == 0) return run;  // "." or "..": nothing to strip a name from
    run.length = length;
    run.addsExe = true;
    for (int32_t i = 0; i < length; ++i) {
        if (run.component[i] == u'.') run.addsExe = false;
    }
    return run;
}

bool AppendRunName(WideBuffer& out, const char16_t* program) {
    const RunName run = RunNameOf(program);
    if (run.stream) return false;
    out.Append(program, static_cast<int32_t>(run.component - program) + run.length);
    if (run.addsExe) out.Append(u".exe", 4);
    return true;
}

LineReader ReaderOf(const char16_t* program, const char16_t* arguments) {
    const RunName run = RunNameOf(program);
    if (run.stream) return LineReader::kRefused;
    if (RunNameIs(run, u"cmd.exe")) {
        return CommandSwitchEnd(arguments) >= 0 ? LineReader::kCommandSwitch : LineReader::kInterpreter;
    }
    if (RunNameEndsWith(run, u".bat") || RunNameEndsWith(run, u".cmd")) return LineReader::kBatchFile;
    if (RunNameIs(run, u"powershell.exe") || RunNameIs(run, u"pwsh.exe")) {
        return PowerShellTakesScript(arguments) ? LineReader::kPowerShell : LineReader::kProgram;
    }
    if (RunNameIs(run, u"wt.exe") || RunNameIs(run, u"conhost.exe") || RunNameIs(run, u"wsl.exe")) {
        return LineReader::kRefused;
    }
    return LineReader::kProgram;
}

bool ProgramCanPass(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u'"' || *name < 0x20) return false;
    }
    return true;
}

bool InterpreterCanPass(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u'%' || *name == u'!' || *name == u'"' || *name < 0x20) return false;
    }
    return true;
}

bool PowerShellCanPass(const char16_t* name) { return ProgramCanPass(name); }

LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, LineReader reader, int32_t fileCount) {
    out.FreeStorage();
    if (fileCount == 0) files = nullptr;
    if (fileCount < 0) fileCount = INT32_MAX;
    if (reader == LineReader::kCommandSwitch && CommandSwitchEnd(arguments) < 0) reader = LineReader::kInterpreter;
    const bool interpreter = reader == LineReader::kInterpreter || reader == LineReader::kCommandSwitch;
    LineOutcome outcome = {LineResult::kComposed, 0, -1,
                           reader == LineReader::kBatchFile ? kBatchFileLineLimit
                           : interpreter                    ? kInterpreterLineLimit
                                                            : kCommandLineLimit - 1};
    if (reader == LineReader::kRefused) {
        if (files != nullptr) {
            outcome.result = LineResult::kProgramRefused;
            return outcome;
        }
        reader = LineReader::kProgram;  // the arguments alone: the user's own line
    }
    int32_t index = 0;
    for (const WideTextNode* node = files; node != nullptr && index < fileCount; node = node->next, ++index) {
        const bool passes = interpreter || reader == LineReader::kBatchFile ? InterpreterCanPass(node->text.Text())
                                                                             : ProgramCanPass(node->text.Text());
        if (!passes) {
            outcome.result = LineResult::kNameRefused;
            outcome.refusedIndex = index;
            return outcome;
        }
    }
    const bool placed = PlaceholdersOf(arguments) != Placeholders::kNone;
    const LinePlan plan = PlanLine(program, arguments, files != nullptr, reader);
    if (placed) {
        if (!WriteSubstituted(nullptr, outcome.length, program, arguments, files, fileCount, reader)) {
            outcome.result = LineResult::kPlaceholderRefused;
            outcome.length = 0;
            return outcome;
        }
    } else {
        outcome.length = WriteLine(nullptr, plan, files, fileCount);
    }
    if (outcome.length > outcome.limit) {
        outcome.result = LineResult::kTooLong;
        return outcome;
    }
    if (!out.Reserve(static_cast<int32_t>(outcome.length + 1))) {
        outcome.result = LineResult::kNoMemory;
        return outcome;
    }
    if (placed) {
        int64_t written = 0;
        WriteSubstituted(&out, written, program, arguments, files, fileCount, reader);
    } else {
        WriteLine(&out, plan, files, fileCount);
    }
    return outcome;
}

Placeholders PlaceholdersOf(const char16_t* arguments) {
    Placeholders found = Placeholders::kNone;
    for (const char16_t* p = arguments; *p != 0; ++p) {
        if (PlaceholderAt(p) == 0) continue;
        if (p[1] != u'*') return Placeholders::kEachFile;
        found = Placeholders::kAllFiles;
        ++p;
    }
    return found;
}

int32_t FilesThatFit(const char16_t* program, const char16_t* arguments, const WideTextNode* files,
                     LineReader reader) {
    int32_t total = 0;
    for (const WideTextNode* node = files; node != nullptr; node = node->next) ++total;
    // The line grows with every file: the largest count that composes is
    // found by halving.
    HeapWide unused;
    auto fits = [&](int32_t count) {
        // Counting only: a composed line is dropped at once.
        const LineOutcome outcome = ComposeCommandLine(unused, program, arguments, files, reader, count);
        unused.FreeStorage();
        return outcome.result == LineResult::kComposed;
    };
    int32_t low = 0;
    int32_t high = total;
    while (low < high) {
        const int32_t middle = low + (high - low + 1) / 2;
        if (fits(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}
