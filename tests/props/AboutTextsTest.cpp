#include "props/AboutTexts.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/testsupport/Platform.h"
#include "tests/testsupport/TempDir.h"

namespace {

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
