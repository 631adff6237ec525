// The texts of command invocation: file arguments and the failure message.
#include "extension/InvocationText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Buffer {
    char store[kInvokeBufferCapacity + 1];
    TextOver text{store, kInvokeBufferCapacity};
};

TEST(FileArgument, QuotedOnlyWhenTheNameHoldsASpace) {
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\DOCS\\A.TXT", "C:\\DOCS\\A.TXT"},
        {"C:\\PROGRA~1\\LONG~WQO.TXT", "C:\\PROGRA~1\\LONG~WQO.TXT"},
        {"C:\\My Docs\\long name.txt", "\"C:\\My Docs\\long name.txt\""},
        {" ", "\" \""},
        {"", ""},
    };
    for (const auto& c : cases) {
        Buffer b;
        AssignFileArgument(b.text, c.name);
        EXPECT_STREQ(c.expected, b.text.Text()) << c.name;
    }
}

TEST(LaunchFailure, MessageIsComposedPieceByPiece) {
    Buffer b;
    b.text.Assign("C:\\LEFT~1.TXT");  // the buffer is reused after the conversions
    ComposeLaunchFailure(b.text, "Viewer", 2, "File not found.\r\n", "\"C:\\NO.EXE\"  C:\\A.TXT");
    EXPECT_STREQ(
        "Error executing command: Viewer\n\nError code = 2\nFile not found.\r\n"
        "\n\nThe command line was:\n\"C:\\NO.EXE\"  C:\\A.TXT",
        b.text.Text());
}

TEST(LaunchFailure, MissingSystemTextAndNegativeCodes) {
    Buffer b;
    ComposeLaunchFailure(b.text, "X", -5, nullptr, "");
    EXPECT_STREQ("Error executing command: X\n\nError code = -5\n(no description)\n\nThe command line was:\n",
                 b.text.Text());
}

TEST(LaunchFailure, CutMessageEndsInThreeDots) {
    const struct {
        size_t commandLength;  // length of the command line
        bool cut;
    } cases[] = {{100, false}, {600, true}, {2000, true}};
    for (const auto& c : cases) {
        Buffer b;
        const std::string line(c.commandLength, 'c');
        ComposeLaunchFailure(b.text, "Name", 2, "text\r\n", line.c_str());
        const std::string message = b.text.Text();
        if (c.cut) {
            EXPECT_EQ(static_cast<size_t>(kInvokeBufferCapacity), message.size());
            EXPECT_EQ("ccc...", message.substr(message.size() - 6));
        } else {
            EXPECT_LT(message.size(), static_cast<size_t>(kInvokeBufferCapacity));
            EXPECT_EQ(line, message.substr(message.size() - line.size()));
        }
    }
}

TEST(LaunchFailure, MessageThatFillsTheBufferExactlyIsTakenAsCut) {
    Buffer b;
    const std::string head = "Error executing command: N\n\nError code = 2\nT\n\nThe command line was:\n";
    const std::string line(kInvokeBufferCapacity - head.size(), 'c');
    ComposeLaunchFailure(b.text, "N", 2, "T", line.c_str());
    const std::string message = b.text.Text();
    ASSERT_EQ(static_cast<size_t>(kInvokeBufferCapacity), message.size());
    EXPECT_EQ("...", message.substr(message.size() - 3));
}

}  // namespace
