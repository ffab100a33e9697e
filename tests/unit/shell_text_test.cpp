#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "shell/shell_text.h"
#include "common/product.h"

TEST(ShellText, UninstallStringIsQuotedOnlyWithABlank)
{
    /* A blank is found byte by byte: in 932 a lone lead byte before it
       (95 20, no character) must not hide it. */
    const struct { const CodePage &page; const char *dir, *text; } cases[] = {
        { kSingleByte, "C:\\MORVALEN", "C:\\MORVALEN\\UNINSTAL.EXE" },
        { kSingleByte, "C:\\", "C:\\\\UNINSTAL.EXE" },
        { kSingleByte, "C:\\Program Files\\Morvalen", "\"C:\\Program Files\\Morvalen\\UNINSTAL.EXE\"" },
        { k932, "C:\\\x95 Morvalen", "\"C:\\\x95 Morvalen\\UNINSTAL.EXE\"" },
    };
    for (const auto &c : cases) {
        UsingCodePage page(c.page);
        std::vector<char> out(512, 'x');
        EXPECT_TRUE(FormatUninstallString(c.dir, out.data(), out.size()));
        EXPECT_STREQ(out.data(), c.text);
    }
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatUninstallString(std::string(n, 'd').c_str(), out, size);
    }), 498);
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatUninstallString(("C:\\A B" + std::string(n, 'd')).c_str(), out, size);
    }) + 6, 496);
}

TEST(ShellText, LinkPathAndDescription)
{
    std::vector<char> out(LINK_TEXT_SIZE, 'x');
    ASSERT_TRUE(FormatLinkPath("C:\\WINDOWS\\Start Menu\\Programs", "Morvalen", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "C:\\WINDOWS\\Start Menu\\Programs\\Morvalen\\Morvalen.LNK");
    ASSERT_TRUE(FormatLinkPath("", "Read Me", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "\\Morvalen\\Read Me.LNK");
    EXPECT_EQ(LongestFit(LINK_TEXT_SIZE, [](size_t n, char *out, size_t size) {
        return FormatLinkPath(std::string(n, 'p').c_str(), "Uninstall Morvalen", out, size);
    }), 227);

    const std::string description = "Shortcut to MORVALEN.EXE";
    std::vector<char> exact(description.size() + 1, 'x');
    EXPECT_TRUE(FormatLinkDescription("Morvalen.exe", exact.data(), exact.size()));
    EXPECT_EQ(exact.data(), description);
    std::vector<char> small(description.size(), 'x');
    EXPECT_FALSE(FormatLinkDescription("Morvalen.exe", small.data(), small.size()));
}

TEST(ShellText, LinkTargetUpperCasesOnlyTheFileName)
{
    std::vector<char> out(LINK_TEXT_SIZE, 'x');
    ASSERT_TRUE(FormatLinkTarget("C:\\Program Files\\Morvalen", "readme.txt", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "C:\\Program Files\\Morvalen\\README.TXT");
    ASSERT_TRUE(FormatLinkTarget("c:\\", "readme.txt", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "c:\\\\README.TXT");
    EXPECT_EQ(LongestFit(LINK_TEXT_SIZE, [](size_t n, char *out, size_t size) {
        return FormatLinkTarget(std::string(n, 'd').c_str(), "Morvalen.exe", out, size);
    }), 246);
}

TEST(ShellText, AddItemCommand)
{
    std::vector<char> out(512, 'x');
    ASSERT_TRUE(FormatAddItemCommand("C:\\MORVALEN", "MORVALEN.EXE", "Morvalen 2.0", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "[AddItem(\"C:\\MORVALEN\\MORVALEN.EXE\",\"Morvalen 2.0\")]");
    ASSERT_TRUE(FormatAddItemCommand("C:\\", "MORVALEN.EXE", "Morvalen 2.0", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "[AddItem(\"C:\\\\MORVALEN.EXE\",\"Morvalen 2.0\")]");
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatAddItemCommand(std::string(n, 'd').c_str(), "UNINSTAL.EXE", "Uninstall Morvalen",
                                    out, size);
    }), 464);
}
