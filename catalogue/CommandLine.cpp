#include "catalogue/CommandLine.h"

namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// True when `text` ends in `suffix` (lower-case ASCII), case aside.
bool EndsWith(const char16_t* text, int32_t length, const char16_t* suffix) {
    const int32_t n = WideLength(suffix);
    if (length < n) return false;
    for (int32_t i = 0; i < n; ++i) {
        if (LowerAscii(text[length - n + i]) != suffix[i]) return false;
    }
    return true;
}

bool HasSpace(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u' ') return true;
    }
    return false;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// True when the file name of `path` (behind its last separator) is `name`
// (lower-case ASCII), case aside.
bool FileNameIs(const char16_t* path, const char16_t* name) {
    const int32_t n = WideLength(path);
    const int32_t m = WideLength(name);
    if (!EndsWith(path, n, name)) return false;
    return n == m || path[n - m - 1] == u'\\' || path[n - m - 1] == u'/' || path[n - m - 1] == u':';
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
    case LineReader::kInterpreter: {
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

// Puts "'name'" with each single quote of the name twice.
template <class Put>
void PutPowerShellLiteral(Put& put, const char16_t* name) {
    put(u"\"'", 2);
    for (const char16_t* c = name; *c != 0; ++c) {
        put(c, 1);
        if (*c == u'\'' || (*c >= 0x2018 && *c <= 0x201B)) put(c, 1);
    }
    put(u"'\"", 2);
}

// Writes the line, or with `out` null only counts its units.
int64_t WriteLine(WideBuffer* out, const LinePlan& plan, const WideTextNode* files) {
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
    for (const WideTextNode* node = files; node != nullptr; node = node->next) {
        put(u" ", 1);
        if (plan.reader == LineReader::kPowerShell) {
            PutPowerShellLiteral(put, node->text.Text());
            continue;
        }
        const bool quote = plan.reader != LineReader::kProgram || HasSpace(node->text.Text());
        if (quote) put(u"\"", 1);
        put(node->text.Text(), node->text.Length());
        if (quote) put(u"\"", 1);
    }
    if (plan.wrapped) put(u"\"", 1);
    return n;
}

}  // namespace

bool InterpreterParses(const char16_t* program) {
    const int32_t n = WideLength(program);
    return EndsWith(program, n, u".bat") || EndsWith(program, n, u".cmd") || FileNameIs(program, u"cmd.exe");
}

LineReader ReaderOf(const char16_t* program, const char16_t* arguments) {
    if (FileNameIs(program, u"cmd.exe")) {
        return CommandSwitchEnd(arguments) >= 0 ? LineReader::kCommandSwitch : LineReader::kInterpreter;
    }
    if (InterpreterParses(program)) return LineReader::kInterpreter;
    if (FileNameIs(program, u"powershell.exe") || FileNameIs(program, u"pwsh.exe")) {
        return PowerShellTakesScript(arguments) ? LineReader::kPowerShell : LineReader::kProgram;
    }
    return LineReader::kProgram;
}

bool InterpreterCanPass(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u'%' || *name == u'!' || *name == u'"' || *name < 0x20) return false;
    }
    return true;
}

bool PowerShellCanPass(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u'"' || *name < 0x20) return false;
    }
    return true;
}

void AppendPowerShellLiteral(WideBuffer& out, const char16_t* name) {
    auto put = [&](const char16_t* text, int32_t length) { out.Append(text, length); };
    PutPowerShellLiteral(put, name);
}

LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, LineReader reader) {
    out.FreeStorage();
    if (reader == LineReader::kCommandSwitch && CommandSwitchEnd(arguments) < 0) reader = LineReader::kInterpreter;
    const bool interpreter = reader == LineReader::kInterpreter || reader == LineReader::kCommandSwitch;
    LineOutcome outcome = {LineResult::kComposed, 0, -1, interpreter ? kInterpreterLineLimit : kCommandLineLimit - 1};
    if (reader != LineReader::kProgram) {
        int32_t index = 0;
        for (const WideTextNode* node = files; node != nullptr; node = node->next, ++index) {
            const bool passes = reader == LineReader::kPowerShell ? PowerShellCanPass(node->text.Text())
                                                                  : InterpreterCanPass(node->text.Text());
            if (!passes) {
                outcome.result = LineResult::kNameRefused;
                outcome.refusedIndex = index;
                return outcome;
            }
        }
    }
    const LinePlan plan = PlanLine(program, arguments, files != nullptr, reader);
    outcome.length = WriteLine(nullptr, plan, files);
    if (outcome.length > outcome.limit) {
        outcome.result = LineResult::kTooLong;
        return outcome;
    }
    if (!out.Reserve(static_cast<int32_t>(outcome.length + 1))) {
        outcome.result = LineResult::kNoMemory;
        return outcome;
    }
    WriteLine(&out, plan, files);
    return outcome;
}
