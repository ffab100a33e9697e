#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "common/text.h"
#include "files/path_text.h"
#include "ui/dir_text.h"

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
        { "\\\\Apps\\\\", 'E', true, "\\\\Apps\\\\" },     /* a network path */
        { "\\\\srv\\share\\Apps", 0, true, "\\\\srv\\share\\Apps" },
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

TEST(Text, RootOfADriveOrShareComesWithItsSeparator)
{
    const struct { const char *path; size_t size; bool ok; const char *root; } cases[] = {
        { "c:\\x", 4, true, "C:\\" }, { "d:", 4, true, "D:\\" }, { "d:", 3, false, "d:" },
        { "\\\\srv\\share\\x\\y", 13, true, "\\\\srv\\share\\" },
        { "\\\\srv\\share", 13, true, "\\\\srv\\share\\" },
        { "\\\\srv\\share", 12, false, "\\\\srv\\share" },
        { "\\\\srv\\share\\x", 12, false, "\\\\srv\\share" },
        { "\\Apps", 512, false, "" }, { "Apps", 512, false, "" }, { "", 512, false, "" },
    };
    for (const auto &c : cases) {
        std::vector<char> root(c.size, 'x');
        EXPECT_EQ(CopyRoot(c.path, root.data(), root.size()), c.ok) << c.path << " in " << c.size;
        EXPECT_STREQ(root.data(), c.root) << c.path << " in " << c.size;
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

    EXPECT_TRUE(HasChar("Program Files", ' '));
    EXPECT_TRUE(HasChar(" ", ' '));
    EXPECT_FALSE(HasChar("C:\\MORVALEN", ' '));
    EXPECT_FALSE(HasChar("", ' '));
}

/* A trail byte can be the separator's byte (0x5C) or a letter: every scan of a
   path steps over whole characters. 表 is 95 5C and ソ 83 5C in 932, 乗 81 5C
   in 936, 功 A5 5C in 950. The first and last lead byte of every range take
   a 5C along; the bytes just outside them do not. */
TEST(Text, PathsAreScannedByWholeCharacters)
{
    const struct {
        const CodePage &page;
        std::string path;
        std::vector<std::string> walk;   /* the components created after the root */
        std::string parent;
        bool endsWithSeparator;
        std::string completed;           /* with C: as the current drive */
    } cases[] = {
        { k932, "C:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c", { "\x83\x5c\x83\x74\x83\x67", "\x95\x5c" },
          "C:\\\x83\x5c\x83\x74\x83\x67", false, "C:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c" },
        { k932, "c:\\\x83\x5c", { "\x83\x5c" }, "c:\\", false, "C:\\\x83\x5c" },
        { k932, "\x95\x5c\\", { "\x95\x5c" }, "", true, "C:\\\x95\x5c\\" },
        { k932, "C:\\\x83", { "\x83" }, "C:\\", false, "C:\\\x83" },      /* trail byte missing */
        { k932, "\\\\srv\\\x83\x5c\\x", { "x" }, "\\\\srv\\\x83\x5c\\", false, "\\\\srv\\\x83\x5c\\x" },
        { k936, "C:\\\x81\x5c\\a", { "\x81\x5c", "a" }, "C:\\\x81\x5c", false, "C:\\\x81\x5c\\a" },
        { k950, "d:\xa5\x5c", { "\xa5\x5c" }, "d:\\", false, "D:\\\xa5\x5c" },
        { k950, "D:\\\xa5\x5c\\\\", { "\xa5\x5c" }, "D:\\", true, "D:\\\xa5\x5c\\\\" },
        { k949, "C:\\\x81\x61\\\xb0\xa1", { "\x81\x61", "\xb0\xa1" }, "C:\\\x81\x61", false,
          "C:\\\x81\x61\\\xb0\xa1" },
        { k932, "C:\\\x81\x5c\\\x9f\x5c", { "\x81\x5c", "\x9f\x5c" }, "C:\\\x81\x5c", false,
          "C:\\\x81\x5c\\\x9f\x5c" },
        { k932, "C:\\\xe0\x5c\\\xfc\x5c", { "\xe0\x5c", "\xfc\x5c" }, "C:\\\xe0\x5c", false,
          "C:\\\xe0\x5c\\\xfc\x5c" },
        { k932, "C:\\\x80\x5c\xa0\x5c\xfd\x5c", { "\x80", "\xa0", "\xfd" }, "C:\\\x80\\\xa0", true,
          "C:\\\x80\x5c\xa0\x5c\xfd\x5c" },
        { k936, "C:\\\xfe\x5c\\a", { "\xfe\x5c", "a" }, "C:\\\xfe\x5c", false, "C:\\\xfe\x5c\\a" },
        { k949, "C:\\\xfe\x5c\\a", { "\xfe\x5c", "a" }, "C:\\\xfe\x5c", false, "C:\\\xfe\x5c\\a" },
        { k950, "C:\\\xfe\x5c\\a", { "\xfe\x5c", "a" }, "C:\\\xfe\x5c", false, "C:\\\xfe\x5c\\a" },
        /* The same bytes in a single-byte code page are two characters. */
        { kSingleByte, "C:\\\x83\x5c", { "\x83" }, "C:\\", true, "C:\\\x83\x5c" },
        { kSingleByte, "C:\\\\Apps", { "Apps" }, "C:\\", false, "C:\\\\Apps" },
        { kSingleByte, "C:\\A\\\\\\B", { "A", "B" }, "C:\\A\\\\", false, "C:\\A\\\\\\B" },
        { kSingleByte, "\\\\srv\\share\\\\Tools\\", { "Tools" }, "\\\\srv\\share\\", true,
          "\\\\srv\\share\\\\Tools\\" },
        { kSingleByte, "\\\\srv\\share", {}, "\\\\srv\\share\\", false, "\\\\srv\\share" },
    };
    for (const auto &c : cases) {
        UsingCodePage page(c.page);
        SCOPED_TRACE(std::string(c.page.name) + " " + c.path);
        /* Exact-size buffers: a scan past the terminator shows under ASan. */
        std::vector<char> walked = Holding(c.path, c.path.size() + 1);
        char *cursor = walked.data() + RootLength(walked.data());
        std::vector<std::string> components;
        while (char *component = NextComponent(&cursor))
            components.push_back(component);
        EXPECT_EQ(components, c.walk);

        std::vector<char> dir = Holding(c.path, std::max(c.path.size(), c.parent.size()) + 1);
        GoToParent(dir.data(), dir.size());
        EXPECT_EQ(dir.data(), c.parent);

        EXPECT_EQ(EndsWithSeparator(c.path.c_str()), c.endsWithSeparator);
        std::string pattern = c.path + (c.endsWithSeparator ? "" : "\\") + "*.*";
        std::vector<char> out(pattern.size() + 1);
        EXPECT_TRUE(MakeSearchPattern(c.path.c_str(), out.data(), out.size()));
        EXPECT_EQ(out.data(), pattern);

        std::vector<char> completed = Holding(c.path, 512);
        EXPECT_TRUE(CompleteDriveLetter(completed.data(), completed.size(), 'C'));
        EXPECT_EQ(completed.data(), c.completed);
    }
}

TEST(Text, UpperCasingLeavesTrailBytesAlone)
{
    UsingCodePage page(k949);
    char text[] = "c:\\\x81\x61z\\\xb0";    /* 81 61 is one character; B0 lacks its trail */
    UpperAsciiText(text);
    EXPECT_STREQ(text, "C:\\\x81\x61Z\\\xb0");
}
