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
        PathParts parts = SplitPath(c.displayName, NoLeadBytes);
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
    explicit FileList(std::initializer_list<const char*> names) {
        std::vector<const char*> all(names);
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            PushText(&head, *it);
            total += static_cast<int32_t>(std::strlen(*it)) + 1;
        }
    }
    ~FileList() { FreeTextList(&head); }
    TextListNode* head = nullptr;
    int32_t total = 0;
};

TEST(ComposeCommandLine, Table) {
    struct Case {
        const char* program;
        const char* arguments;
        std::initializer_list<const char*> files;
        const char* expected;
    } cases[] = {
        {"C:\\WIN\\NOTEPAD.EXE", "", {"C:\\DOCS\\A.TXT", "C:\\DOCS\\B.TXT"},
         "\"C:\\WIN\\NOTEPAD.EXE\"  C:\\DOCS\\A.TXT C:\\DOCS\\B.TXT"},
        {"C:\\WIN\\NOTEPAD.EXE", "", {}, "\"C:\\WIN\\NOTEPAD.EXE\" "},
        {"C:\\T\\X.EXE", "/p -q", {}, "\"C:\\T\\X.EXE\" /p -q"},
        {"C:\\T\\X.EXE", "/p", {"C:\\A"}, "\"C:\\T\\X.EXE\" /p C:\\A"},
        {"", "", {"C:\\A"}, "\"\"  C:\\A"},
        {"C:\\T\\TOOL.PIF", "a \"b c\"", {"F1", "F2", "F3"}, "\"C:\\T\\TOOL.PIF\" a \"b c\" F1 F2 F3"},
    };
    for (const Case& c : cases) {
        FileList files(c.files);
        HeapText line;
        ASSERT_EQ(ComposeCommandLine(line, c.program, c.arguments, files.head, files.total), 1);
        EXPECT_STREQ(line.Text(), c.expected);
        // Reserved to exactly the line's length: nothing wasted, nothing cut.
        EXPECT_EQ(line.Capacity(), line.Length()) << c.expected;
    }
}

TEST(ComposeCommandLine, ShortFilesLengthCutsAtTheReservation) {
    FileList files({"C:\\DOCS\\A.TXT"});
    HeapText line;
    ASSERT_EQ(ComposeCommandLine(line, "P", "", files.head, 4), 1);
    EXPECT_STREQ(line.Text(), "\"P\"  C:\\");
}

TEST(ComposeCommandLine, ReplacesEarlierContent) {
    HeapText line;
    line.AssignExact("a much longer line that was there before");
    ASSERT_EQ(ComposeCommandLine(line, "P", "x", nullptr, 0), 1);
    EXPECT_STREQ(line.Text(), "\"P\" x");
}

TEST(ComposeCommandLine, AllocationFailureLeavesNoCutLine) {
    HeapText line;
    TextHeap failing = {[](size_t) -> void* { return nullptr; }, std::free};
    TextHeap previous = SetTextHeap(failing);
    int result = ComposeCommandLine(line, "C:\\P.EXE", "args", nullptr, 0);
    SetTextHeap(previous);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(line.Text(), "");
}

}  // namespace
