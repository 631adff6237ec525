#include "props/VersionText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VersionText, ProductMajorMinorThenFileMajor) {
    const struct {
        uint32_t productMS;
        uint32_t fileMS;
        int32_t capacity;
        const char* expected;
    } kCases[] = {
        {0x00000005, 0x00060006, 260, "Version 0.5.6"},  // product 0.5.0.1, file 6.6.0.1
        {0x00010002, 0x00030004, 260, "Version 1.2.3"},  // the file's low word plays no part
        {0xFFFFFFFF, 0xFFFF0000, 260, "Version 65535.65535.65535"},
        {0x00000005, 0x00060006, 12, "Version 0.5."},  // appended while there is room
        {0x00C80000, 0x00060006, 10, "Version 20"},    // a number cut keeps its leading digits
    };
    for (const auto& c : kCases) {
        char store[261];
        TextOver out(store, c.capacity, "previous text");
        FormatVersionText(out, c.productMS, c.fileMS);
        EXPECT_STREQ(out.Text(), c.expected);
        EXPECT_EQ(out.Length(), static_cast<int32_t>(std::string(c.expected).size()));
    }
}

}  // namespace
