#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "text.h"

TEST(Text, CopyAndAppendStopAtTheBufferAndKeepATerminatedPrefix)
{
    std::vector<char> out(6, 'x');
    EXPECT_TRUE(CopyText(out.data(), out.size(), "abcde"));
    EXPECT_STREQ(out.data(), "abcde");
    EXPECT_FALSE(CopyText(out.data(), out.size(), "abcdef"));
    EXPECT_STREQ(out.data(), "abcde");

    EXPECT_TRUE(CopyText(out.data(), out.size(), "ab"));
    EXPECT_TRUE(AppendText(out.data(), out.size(), "cde"));
    EXPECT_FALSE(AppendChar(out.data(), out.size(), 'f'));
    EXPECT_STREQ(out.data(), "abcde");

    EXPECT_FALSE(CopyText(out.data(), 0, "a"));
    EXPECT_EQ(out[0], 'a');
}

TEST(Text, AppendUnsignedWritesTheWholeRange)
{
    for (uint64_t value : { (uint64_t)0, (uint64_t)9, (uint64_t)10, (uint64_t)4294967296u, UINT64_MAX }) {
        std::string digits = std::to_string(value);
        std::vector<char> out = Holding("n=", digits.size() + 3);
        EXPECT_TRUE(AppendUnsigned(out.data(), out.size(), value));
        EXPECT_EQ(out.data(), "n=" + digits);
        out = Holding("n=", digits.size() + 2);
        EXPECT_FALSE(AppendUnsigned(out.data(), out.size(), value));
    }
}

TEST(Text, DriveLetterIsAnAsciiLetterBeforeAColon)
{
    const struct { const char *text; char drive; } cases[] = {
        { "c:", 'C' }, { "Z:\\x", 'Z' }, { "a:setup", 'A' }, { "1:\\", 0 }, { "\xe9:\\", 0 },
        { "@:", 0 }, { "[:", 0 }, { "`:", 0 }, { "{:", 0 }, { "C", 0 }, { "", 0 }, { "\\C:", 0 },
    };
    for (const auto &c : cases)
        EXPECT_EQ(DriveLetterOf(c.text), c.drive) << c.text;

    char text[] = "abc xyz \xe9{`@[";
    UpperAsciiText(text);
    EXPECT_STREQ(text, "ABC XYZ \xe9{`@[");
}

TEST(Text, AddMissingRootKeepsTheRestAsWritten)
{
    const struct { std::string path; char drive; bool ok; std::string rooted; } cases[] = {
        { "C:\\A\\\\B\\", 'E', true, "C:\\A\\\\B\\" },
        { "d:\\work", 0, true, "d:\\work" },
        { "Apps\\Morvalen", 'C', true, "C:\\Apps\\Morvalen" },
        { "\\Apps\\Morvalen", 'C', true, "C:\\Apps\\Morvalen" },
        { "\\\\Apps\\\\", 'E', true, "E:\\\\Apps\\\\" },
        { "c:Foo\\", 0, true, "c:\\Foo\\" },
        { "C:", 0, true, "C:\\" },
        { "", 'C', true, "C:\\" },
        { "1:\\x", 'C', true, "C:\\1:\\x" },
        { "Apps", 0, false, "Apps" },
        { "\\Apps", 0, false, "\\Apps" },
        { "", 0, false, "" },
        { "C:" + std::string(508, 'a'), 0, true, "C:\\" + std::string(508, 'a') },
        { "C:" + std::string(509, 'a'), 0, false, "C:" + std::string(509, 'a') },
    };
    for (const auto &c : cases) {
        std::vector<char> path = Holding(c.path, 512);
        EXPECT_EQ(AddMissingRoot(path.data(), path.size(), c.drive), c.ok) << c.path;
        EXPECT_EQ(path.data(), c.rooted);
    }
}

TEST(Text, JoinPathAlwaysInsertsTheSeparator)
{
    const struct { const char *dir, *name, *joined; } cases[] = {
        { "C:\\X", "a.txt", "C:\\X\\a.txt" }, { "A:\\", "a.txt", "A:\\\\a.txt" },
        { "C:\\X\\", "a.txt", "C:\\X\\\\a.txt" }, { "", "a.txt", "\\a.txt" },
    };
    for (const auto &c : cases) {
        size_t length = std::string(c.joined).size();
        std::vector<char> out(length + 1, 'x');
        EXPECT_TRUE(JoinPath(c.dir, c.name, out.data(), out.size()));
        EXPECT_STREQ(out.data(), c.joined);
        std::vector<char> small(length, 'x');
        EXPECT_FALSE(JoinPath(c.dir, c.name, small.data(), small.size())) << c.joined;
    }
}

TEST(Text, SmallPredicates)
{
    EXPECT_TRUE(TextEquals("", ""));
    EXPECT_TRUE(TextEquals("ab", "ab"));
    EXPECT_FALSE(TextEquals("ab", "abc"));
    EXPECT_FALSE(TextEquals("abc", "ab"));
    EXPECT_FALSE(TextEquals("ab", "AB"));

    EXPECT_TRUE(EndsWithSeparator("C:\\"));
    EXPECT_FALSE(EndsWithSeparator("C:\\a"));
    EXPECT_FALSE(EndsWithSeparator(""));

    EXPECT_TRUE(HasBlank("Program Files"));
    EXPECT_TRUE(HasBlank(" "));
    EXPECT_FALSE(HasBlank("C:\\MORVALEN"));
    EXPECT_FALSE(HasBlank(""));
}
