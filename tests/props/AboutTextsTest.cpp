#include "props/AboutTexts.h"

#include <gtest/gtest.h>

#include <string>

#include "props/VersionText.h"
#include "tests/testsupport/Platform.h"
#include "tests/testsupport/TempDir.h"

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

void Preset(AboutTexts& texts) {
    texts.productName.Assign("name before");
    texts.version.Assign("version before");
    texts.copyright.Assign("copyright before");
}

TEST(AboutTexts, ReadFromTheLibrarysVersionResource) {
    AboutTexts texts;
    Preset(texts);
    ReadAboutTexts((ExecutableDirectory() + ZK_PROPS_LIBRARY).c_str(), texts);
    EXPECT_STREQ(texts.productName.Text(), "Zentrik Context Menu Extension");
    EXPECT_STREQ(texts.version.Text(), "Version 0.5.6");
    EXPECT_GT(texts.copyright.Length(), 0);
    EXPECT_STRNE(texts.copyright.Text(), "copyright before");
}

TEST(AboutTexts, UnreadableFilesLeaveTheTextsAsTheyWere) {
    TempDir folder("zkabout");
    ASSERT_TRUE(folder.Valid());
    ASSERT_TRUE(folder.WriteFile("plain.dll", "not a program at all"));
    const std::string kFiles[] = {
        folder / "missing.dll",  // no such file
        folder / "plain.dll",    // no version resource to find
    };
    for (const std::string& file : kFiles) {
        AboutTexts texts;
        Preset(texts);
        ReadAboutTexts(file.c_str(), texts);
        EXPECT_STREQ(texts.productName.Text(), "name before") << file;
        EXPECT_STREQ(texts.version.Text(), "version before") << file;
        EXPECT_STREQ(texts.copyright.Text(), "copyright before") << file;
    }
}

}  // namespace
