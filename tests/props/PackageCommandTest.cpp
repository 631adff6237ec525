// The commands that register and remove the Windows 11 package, as the
// settings program composes them (Wine has no package deployment to run
// them against), and the words for their outcomes.
#include <gtest/gtest.h>

#include <string>

#include "props/PackageCommand.h"

namespace {

const char kPs[] = "C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe";
const std::string kHead = std::string("\"") + kPs +
                          "\" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"try { ";
const std::string kTail = " -ErrorAction Stop; exit 0 } catch { exit $_.Exception.HResult }\"";

TEST(PackageCommand, RegisterAndRemoveCommandLines) {
    const struct {
        const char* package;
        const char* folder;
        const char* quoted;  // what follows "Add-AppxPackage -Path "
    } cases[] = {
        {"C:\\Program Files\\Zentrik\\Zentrik.msix", "C:\\Program Files\\Zentrik\\",
         "'C:\\Program Files\\Zentrik\\Zentrik.msix' -ExternalLocation 'C:\\Program Files\\Zentrik'"},
        // Quotes PowerShell ends a literal at are doubled; $ and ` stay as
        // they are inside single quotes.
        {"D:\\Bob's $x `y\\Zentrik.msix", "D:\\Bob's $x `y",
         "'D:\\Bob''s $x `y\\Zentrik.msix' -ExternalLocation 'D:\\Bob''s $x `y'"},
        {"E:\\\xE2\x80\x99q\\Zentrik.msix", "E:\\\xE2\x80\x98q\\",
         "'E:\\\xE2\x80\x99\xE2\x80\x99q\\Zentrik.msix' -ExternalLocation 'E:\\\xE2\x80\x98\xE2\x80\x98q'"},
        // A drive's root keeps its backslash.
        {"F:\\Zentrik.msix", "F:\\", "'F:\\Zentrik.msix' -ExternalLocation 'F:\\'"},
    };
    for (const auto& c : cases) {
        HeapText out;
        ASSERT_TRUE(ComposeRegisterPackage(kPs, c.package, c.folder, out)) << c.package;
        EXPECT_EQ(kHead + "Add-AppxPackage -Path " + c.quoted + kTail, out.Text());
    }
    HeapText out;
    ASSERT_TRUE(ComposeRemovePackage(kPs, out));
    EXPECT_EQ(kHead + "Get-AppxPackage -Name 'Zentrik.ContextMenu' | Remove-AppxPackage" + kTail, out.Text());
}

TEST(PackageCommand, OutcomesInWords) {
    const struct {
        uint32_t code;
        bool enable;
        const char* says;
    } cases[] = {
        {0, true, "Explorer may need a restart"},
        {0, false, "no longer in the Windows 11 menu"},
        {0x800B0109u, true, "not trusted on this computer"},
        {0x80073CFFu, true, "sideloading is switched off"},
        {0x80073CF3u, true, "reported an error (0x80073CF3)"},
        {0x80070005u, false, "could not be taken out"},
    };
    for (const auto& c : cases) {
        FixedText text;
        DescribePackageOutcome(c.code, c.enable, text);
        const std::string s = text.Text();
        EXPECT_NE(std::string::npos, s.find(c.says)) << s;
        // Every failure names its code and that the classic menu still works.
        EXPECT_EQ(c.code != 0, s.find("still works") != std::string::npos) << s;
        char hex[16];
        snprintf(hex, sizeof hex, "0x%08X", c.code);
        EXPECT_EQ(c.code != 0, s.find(hex) != std::string::npos) << s;
    }
}

}  // namespace
