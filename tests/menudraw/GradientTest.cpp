// The gradient's colour sequence and the item geometry: platform-free, run on
// the host under the sanitizers and in both Windows builds.
#include <gtest/gtest.h>

#include <vector>

#include "menudraw/Gradient.h"
#include "menudraw/ItemLayout.h"

namespace {

std::vector<uint32_t> Columns(uint32_t start, uint32_t end, int32_t width) {
    std::vector<uint32_t> colours;
    for (GradientSteps g(start, end, width); !g.Done(); g.Next()) {
        EXPECT_EQ(static_cast<int32_t>(colours.size()), g.Column());
        colours.push_back(g.Colour());
    }
    return colours;
}

TEST(GradientSteps, KnownSequences) {
    const struct {
        const char* name;
        uint32_t start, end;
        int32_t width;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"navy to silver over 4", MakeColour(0, 0, 128), MakeColour(192, 192, 192), 4,
         {MakeColour(0, 0, 128), MakeColour(48, 48, 144), MakeColour(96, 96, 160), MakeColour(144, 144, 176)}},
        // Truncation toward zero: rounding down would give 133 and 67.
        {"falling channel 200 to 0 over 3", MakeColour(200, 0, 0), MakeColour(0, 0, 0), 3,
         {MakeColour(200, 0, 0), MakeColour(134, 0, 0), MakeColour(68, 0, 0)}},
        {"falling in every channel", MakeColour(200, 200, 200), MakeColour(0, 0, 0), 3,
         {MakeColour(200, 200, 200), MakeColour(134, 134, 134), MakeColour(68, 68, 68)}},
        {"width 1 is the start colour", MakeColour(1, 2, 3), MakeColour(250, 251, 252), 1, {MakeColour(1, 2, 3)}},
        {"width 2 goes halfway", MakeColour(0, 255, 100), MakeColour(255, 0, 100), 2,
         {MakeColour(0, 255, 100), MakeColour(128, 128, 100)}},
        {"equal colours stay", MakeColour(9, 8, 7), MakeColour(9, 8, 7), 3,
         {MakeColour(9, 8, 7), MakeColour(9, 8, 7), MakeColour(9, 8, 7)}},
        {"width 0 has no columns", MakeColour(0, 0, 0), MakeColour(255, 255, 255), 0, {}},
        {"negative width has no columns", MakeColour(0, 0, 0), MakeColour(255, 255, 255), -5, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Columns(c.start, c.end, c.width), c.expected);
    }
}

TEST(GradientSteps, IgnoresTheTopByteOfAColour) {
    EXPECT_EQ(Columns(0xFF000080u, 0x01C0C0C0u, 2), Columns(0x00000080u, 0x00C0C0C0u, 2));
    EXPECT_EQ(Columns(0xFF000080u, 0x01C0C0C0u, 2)[0], 0x00000080u);
}

// Over a grid of channel pairs and widths: the first column is the start
// value, each channel moves monotonically and stays between its start and end,
// the last column is one step short of the end, and the step after it lands
// exactly on the end.
TEST(GradientSteps, ChannelsStayBetweenStartAndEnd) {
    const int32_t values[] = {0, 1, 2, 37, 127, 128, 200, 254, 255};
    for (int32_t from : values) {
        for (int32_t to : values) {
            for (int32_t width = 1; width <= 70; ++width) {
                SCOPED_TRACE(::testing::Message() << from << " -> " << to << " over " << width);
                // Red rises or falls from `from` to `to`, blue the other way,
                // green stays: each channel follows its own pair.
                const int32_t start[3] = {from, 77, to};
                const int32_t end[3] = {to, 77, from};
                GradientSteps g(MakeColour(start[0], start[1], start[2]), MakeColour(end[0], end[1], end[2]), width);
                int32_t last[3] = {start[0], start[1], start[2]};
                int32_t columns = 0;
                for (; !g.Done(); g.Next(), ++columns) {
                    const int32_t now[3] = {RedOf(g.Colour()), GreenOf(g.Colour()), BlueOf(g.Colour())};
                    for (int ch = 0; ch < 3; ++ch) {
                        if (columns == 0) {
                            ASSERT_EQ(now[ch], start[ch]);
                        }
                        int32_t lo = start[ch] < end[ch] ? start[ch] : end[ch];
                        int32_t hi = start[ch] < end[ch] ? end[ch] : start[ch];
                        ASSERT_GE(now[ch], lo);
                        ASSERT_LE(now[ch], hi);
                        if (end[ch] >= start[ch]) {
                            ASSERT_GE(now[ch], last[ch]);
                        } else {
                            ASSERT_LE(now[ch], last[ch]);
                        }
                        last[ch] = now[ch];
                    }
                }
                ASSERT_EQ(columns, width);
                // `last` is the last drawn column; the step after it lands on the end.
                for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(GradientChannelStep(last[ch], end[ch], 1), end[ch]);
            }
        }
    }
}

TEST(ItemLayout, HalvingTruncatesTowardZero) {
    const struct {
        int32_t height, ih, textHeight;
        int32_t iconTop, frameTop, textTop;
    } cases[] = {
        {20, 16, 13, 2, 0, 3},    // an item exactly ih + 4 high: frame over the full height, icon 2 below it
        {21, 16, 13, 2, 0, 4},    // odd excess: rounded toward zero from the top
        {27, 16, 13, 5, 3, 7},
        {13, 16, 13, -1, -3, 0},  // lower than the icon: -3 / 2 is -1, not -2
        {10, 16, 15, -3, -5, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "H=" << c.height << " ih=" << c.ih);
        ItemBox icon = IconBox(10, 100, c.height, 16, c.ih);
        EXPECT_EQ(icon.left, 12);
        EXPECT_EQ(icon.top, 100 + c.iconTop);
        EXPECT_EQ(icon.width, 16);
        EXPECT_EQ(icon.height, c.ih);
        ItemBox frame = RaisedFrameBox(10, 100, c.height, 16, c.ih);
        EXPECT_EQ(frame.left, 10);
        EXPECT_EQ(frame.top, 100 + c.frameTop);
        EXPECT_EQ(frame.width, 21);
        EXPECT_EQ(frame.height, c.ih + 4);
        ItemBox text = TextOrigin(10, 100, c.height, 16, c.textHeight);
        EXPECT_EQ(text.left, 10 + 16 + 8);
        EXPECT_EQ(text.top, 100 + c.textTop);
    }
}

}  // namespace
