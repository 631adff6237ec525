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

// What must follow `"program" arguments` so that both readings stand outside
// quotes with no caret waiting: a space for a waiting caret to take, a quote
// to close an open one, an escaped quote to close a parameter group that an
// escaped quote opened. Empty for a prefix that leaves nothing open.
const char16_t* PrefixClosing(const char16_t* program, const char16_t* arguments) {
    QuoteScan scan;
    scan.Feed(u"\"");
    scan.Feed(program);
    scan.Feed(u"\" ");
    scan.Feed(arguments);
    static const char16_t* const kClosings[8] = {u"", u"^\"", u"\"", u"\"^\"", u" ", u" ^\"", u" \"", u" \"^\""};
    // A waiting caret stands outside quotes and takes the space: the quote
    // states are those after the caret's character, which a space leaves.
    bool grouped = scan.grouped;
    if (scan.quoted) grouped = !grouped;  // the closing quote toggles both readings
    return kClosings[(scan.escaped ? 4 : 0) + (scan.quoted ? 2 : 0) + (grouped ? 1 : 0)];
}

// Writes the line, or with `out` null only counts its units.
int64_t WriteLine(WideBuffer* out, const char16_t* program, const char16_t* arguments, const WideTextNode* files,
                  bool interpreter, const char16_t* closing) {
    int64_t n = 0;
    auto put = [&](const char16_t* text, int32_t length) {
        if (out != nullptr) out->Append(text, length);
        n += length;
    };
    put(u"\"", 1);
    put(program, WideLength(program));
    put(u"\" ", 2);
    put(arguments, WideLength(arguments));
    put(closing, WideLength(closing));
    for (const WideTextNode* node = files; node != nullptr; node = node->next) {
        const bool quote = interpreter || HasSpace(node->text.Text());
        put(u" ", 1);
        if (quote) put(u"\"", 1);
        put(node->text.Text(), node->text.Length());
        if (quote) put(u"\"", 1);
    }
    return n;
}

}  // namespace

bool InterpreterParses(const char16_t* program) {
    const int32_t n = WideLength(program);
    if (EndsWith(program, n, u".bat") || EndsWith(program, n, u".cmd")) return true;
    // cmd.exe as a whole file name: at the start or behind a separator.
    if (!EndsWith(program, n, u"cmd.exe")) return false;
    return n == 7 || program[n - 8] == u'\\' || program[n - 8] == u'/' || program[n - 8] == u':';
}

bool InterpreterCanPass(const char16_t* name) {
    for (; *name != 0; ++name) {
        if (*name == u'%' || *name == u'!' || *name == u'"' || *name < 0x20) return false;
    }
    return true;
}

LineOutcome ComposeCommandLine(HeapWide& out, const char16_t* program, const char16_t* arguments,
                               const WideTextNode* files, bool interpreter) {
    out.FreeStorage();
    LineOutcome outcome = {LineResult::kComposed, 0, -1};
    if (interpreter) {
        int32_t index = 0;
        for (const WideTextNode* node = files; node != nullptr; node = node->next, ++index) {
            if (!InterpreterCanPass(node->text.Text())) {
                outcome.result = LineResult::kNameRefused;
                outcome.refusedIndex = index;
                return outcome;
            }
        }
    }
    // The arguments are the user's own; only when files follow them must
    // they leave no quote open.
    const char16_t* closing = interpreter && files != nullptr ? PrefixClosing(program, arguments) : u"";
    outcome.length = WriteLine(nullptr, program, arguments, files, interpreter, closing);
    if (outcome.length + 1 > kCommandLineLimit) {
        outcome.result = LineResult::kTooLong;
        return outcome;
    }
    if (!out.Reserve(static_cast<int32_t>(outcome.length + 1))) {
        outcome.result = LineResult::kNoMemory;
        return outcome;
    }
    WriteLine(&out, program, arguments, files, interpreter, closing);
    return outcome;
}
