// The messages of command invocation.
#include "extension/InvocationText.h"

#include <gtest/gtest.h>

#include <string>

#include "catalogue/CommandLine.h"

namespace {

struct Buffer {
    FixedWide<kInvokeBufferCapacity> text;
    std::u16string Text() const { return std::u16string(text.Text(), text.Length()); }
};

TEST(LaunchFailure, MessageIsComposedPieceByPiece) {
    Buffer b;
    b.text.AppendAscii("left over");
    // The system text is taken as it comes, inserts and all.
    ComposeLaunchFailure(b.text, u"Viewer \u0416", 193, u"Bad EXE format for %1.\r\n", u"\"C:\\NO.TXT\"  C:\\A.TXT");
    EXPECT_EQ(u"Error executing command: Viewer \u0416\n\nError code = 193\nBad EXE format for %1.\r\n"
              u"\n\nThe command line was:\n\"C:\\NO.TXT\"  C:\\A.TXT",
              b.Text());
}

TEST(LaunchFailure, MissingSystemTextAndNegativeCodes) {
    Buffer b;
    ComposeLaunchFailure(b.text, u"X", -5, nullptr, u"");
    EXPECT_EQ(u"Error executing command: X\n\nError code = -5\n(no description)\n\nThe command line was:\n", b.Text());
}

TEST(LaunchFailure, CutMessageEndsInThreeDots) {
    const std::u16string head = u"Error executing command: N\n\nError code = 2\nT\n\nThe command line was:\n";
    const struct {
        size_t commandLength;  // length of the command line
        bool cut;
    } cases[] = {{100, false}, {kInvokeBufferCapacity - head.size(), true}, {600, true}, {2000, true}};
    for (const auto& c : cases) {
        Buffer b;
        const std::u16string line(c.commandLength, u'c');
        ComposeLaunchFailure(b.text, u"N", 2, u"T", line.c_str());
        const std::u16string message = b.Text();
        if (c.cut) {
            EXPECT_EQ(static_cast<size_t>(kInvokeBufferCapacity), message.size());
            EXPECT_EQ(u"ccc...", message.substr(message.size() - 6));
        } else {
            EXPECT_EQ(head + line, message);
        }
    }
}

TEST(RefusalAndLength, NameTheFileAndTheCountWithoutCuttingThem) {
    Buffer refused;
    ComposeNameRefused(refused.text, u"Batch", u"C:\\docs\\100% \u0436.txt");
    const std::u16string refusal = refused.Text();
    EXPECT_EQ(0u, refusal.find(u"Error executing command: Batch\n\n"));
    EXPECT_NE(std::u16string::npos, refusal.find(u"\nC:\\docs\\100% \u0436.txt\n")) << "the file on a line of its own";
    EXPECT_LT(refusal.size(), static_cast<size_t>(kInvokeBufferCapacity));

    Buffer tooLong;
    ComposeLineTooLong(tooLong.text, u"Viewer", 1200, 52345, kCommandLineLimit - 1);
    const std::u16string message = tooLong.Text();
    for (const char16_t* piece : {u"1200 files were selected", u"52345 characters", u"32766 the system", u"Select fewer files"}) {
        EXPECT_NE(std::u16string::npos, message.find(piece)) << std::string(piece, piece + 10);
    }
    EXPECT_LT(message.size(), static_cast<size_t>(kInvokeBufferCapacity));
    ComposeLineTooLong(tooLong.text, u"Batch", 300, 9000, kInterpreterLineLimit);
    EXPECT_NE(std::u16string::npos, tooLong.Text().find(u"more than the 8191 the command interpreter takes."));
}

}  // namespace
