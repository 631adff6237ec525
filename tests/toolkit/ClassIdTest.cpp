#include "toolkit/ClassId.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

// The registry keys of the settings program and the class the library serves
// and the shell host creates must be one class: both spellings agree.
TEST(ClassId, TextSpellsTheValue) {
    wchar_t wide[40] = {};
    ASSERT_EQ(39, StringFromGUID2(kExtensionClassId, wide, 40));
    std::string text;
    for (const wchar_t* c = wide; *c != 0; ++c) text += static_cast<char>(*c >= L'A' && *c <= L'F' ? *c - L'A' + L'a' : *c);
    EXPECT_EQ(text, kClassIdText);
}
