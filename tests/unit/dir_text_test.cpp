#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "ui/dir_text.h"

TEST(DirText, FormatKilobytesRoundsDownWithoutWrapping)
{
    const struct { uint64_t bytes; std::string text; } cases[] = {
        { 0, "0kB" }, { 1023, "0kB" }, { 1024, "1kB" }, { 296960, "290kB" },
        { 5ull << 30, "5242880kB" }, { (1ull << 42) + 1023, "4294967296kB" },
        { UINT64_MAX, std::to_string(UINT64_MAX >> 10) + "kB" },
    };
    for (const auto &c : cases) {
        std::vector<char> out(c.text.size() + 1, 'x');
        EXPECT_TRUE(FormatKilobytes(c.bytes, out.data(), out.size()));
        EXPECT_EQ(out.data(), c.text);
        std::vector<char> small(c.text.size(), 'x');
        EXPECT_FALSE(FormatKilobytes(c.bytes, small.data(), small.size())) << c.text;
    }
}

TEST(DirText, PackDriveListFitsExactlyOrHandsBackAnEmptyList)
{
    std::string all;
    for (char letter = 'A'; letter <= 'Z'; letter++)
        all += std::string(1, letter) + ":\\" + '\0';
    const struct { uint32_t mask; std::string packed; } cases[] = {
        { 0, std::string(2, '\0') },
        { 0xD, std::string("A:\\\0C:\\\0D:\\\0\0\0", 14) },
        { 0xFC00000D, std::string("A:\\\0C:\\\0D:\\\0\0\0", 14) },
        { 1u << 25, std::string("Z:\\\0\0\0", 6) },
        { 0x3FFFFFF, all + std::string(2, '\0') },
        { 0xFFFFFFFF, all + std::string(2, '\0') },
    };
    ASSERT_EQ(all.size() + 2, 106u);
    for (const auto &c : cases) {
        std::vector<char> out(c.packed.size(), 'x');
        EXPECT_TRUE(PackDriveList(c.mask, out.data(), out.size()));
        EXPECT_EQ(std::string(out.data(), out.size()), c.packed) << c.mask;

        for (size_t size : { c.packed.size() - 1, (size_t)2, (size_t)1 }) {
            if (size >= c.packed.size())
                continue;
            std::vector<char> small(size, 'x');
            EXPECT_FALSE(PackDriveList(c.mask, small.data(), size)) << c.mask << " in " << size;
            EXPECT_EQ(std::string(small.data(), size < 2 ? size : 2), std::string(size < 2 ? size : 2, '\0'));
        }
    }
    EXPECT_FALSE(PackDriveList(0xD, nullptr, 0));
}

TEST(DirText, CompleteDriveLetter)
{
    const struct { std::string path; char drive; bool ok; std::string completed; } cases[] = {
        { "a:\\setup", 'C', true, "A:\\setup" },
        { "z:\\x", 'C', true, "Z:\\x" },
        { "d:", 'C', true, "D:\\" },
        { "d:data", 0, true, "D:\\data" },   /* as the installation reads it */
        { "e:\\x", 0, true, "E:\\x" },
        { "Apps", 'C', true, "C:\\Apps" },
        { "\\Apps", 'C', true, "C:\\Apps" },
        { "", 'C', true, "C:\\" },
        { "1:\\x", 'C', true, "C:\\1:\\x" },
        { "Apps", 0, false, "Apps" },
        { "", 0, false, "" },
        { std::string(508, 'a'), 'C', true, "C:\\" + std::string(508, 'a') },
        { std::string(509, 'a'), 'C', false, std::string(509, 'a') },
        { std::string(511, 'a'), 'C', false, std::string(511, 'a') },
        { "\\" + std::string(508, 'a'), 'C', true, "C:\\" + std::string(508, 'a') },
        { "\\" + std::string(509, 'a'), 'C', false, "\\" + std::string(509, 'a') },
        { "d:" + std::string(508, 'a'), 'C', true, "D:\\" + std::string(508, 'a') },
        { "d:" + std::string(509, 'a'), 'C', false, "d:" + std::string(509, 'a') },
    };
    for (const auto &c : cases) {
        std::vector<char> path = Holding(c.path, 512);
        EXPECT_EQ(CompleteDriveLetter(path.data(), path.size(), c.drive), c.ok) << c.path;
        EXPECT_EQ(path.data(), c.completed);
    }
}

TEST(DirText, GoToParentStopsAtTheRoot)
{
    const struct { const char *dir; const char *parent; } cases[] = {
        { "C:\\Data\\Sub", "C:\\Data" }, { "C:\\Data", "C:\\" }, { "C:\\", "C:\\" },
        { "C:\\Data\\", "C:\\" }, { "C:\\\\Data", "C:\\" }, { "C:\\Data\\\\", "C:\\" },
        { "C:\\Data\\\\Sub", "C:\\Data\\" }, { "C:foo", "C:\\" }, { "c:foo\\bar", "c:foo" },
    };
    for (const auto &c : cases) {
        std::vector<char> dir = Holding(c.dir, 512);
        GoToParent(dir.data(), dir.size());
        EXPECT_STREQ(dir.data(), c.parent) << c.dir;
    }
    /* Odd texts must not lead it outside the text or the buffer. */
    for (std::string odd : { "", "\\", "\\\\", "X", "C:", "C:\\" }) {
        std::vector<char> dir = Holding(odd, odd.size() + 1);
        GoToParent(dir.data(), dir.size());
        EXPECT_LE(std::string(dir.data()).size(), odd.size()) << odd;
    }
}

TEST(DirText, EnterChildRefusesWhatWouldNotFit)
{
    const struct { std::string dir, name; bool ok; std::string entered; } cases[] = {
        { "C:\\", "Data", true, "C:\\Data" },
        { "C:\\Data", "Sub", true, "C:\\Data\\Sub" },
        { "C:\\Data\\", "Sub", true, "C:\\Data\\Sub" },   /* where "[..]" leaves C:\Data\\Sub */
        { "C:\\", std::string(508, 'n'), true, "C:\\" + std::string(508, 'n') },
        { "C:\\", std::string(509, 'n'), false, "C:\\" },
        { "C:\\Data", std::string(503, 'n'), true, "C:\\Data\\" + std::string(503, 'n') },
        { "C:\\Data", std::string(504, 'n'), false, "C:\\Data" },
    };
    for (const auto &c : cases) {
        std::vector<char> dir = Holding(c.dir, 512);
        EXPECT_EQ(EnterChild(dir.data(), dir.size(), c.name.c_str()), c.ok) << c.dir << " + " << c.name.size();
        EXPECT_EQ(dir.data(), c.entered);
    }
}

TEST(DirText, EntryNameTakesWhatIsInsideTheBrackets)
{
    const struct { const char *entry; size_t size; bool ok; const char *name; } cases[] = {
        { "[Data]", 256, true, "Data" }, { "[..]", 256, true, ".." },
        { "[Data]", 5, true, "Data" }, { "[Data]", 4, false, "" },
        { "[", 256, false, "" }, { "", 256, false, "" },
    };
    for (const auto &c : cases) {
        std::vector<char> name = Holding("", c.size);
        EXPECT_EQ(EntryName(c.entry, name.data(), name.size()), c.ok) << c.entry << " in " << c.size;
        if (c.ok) {
            EXPECT_STREQ(name.data(), c.name);
        }
    }
}

TEST(DirText, SearchPatternAndEntryFitTheListBuffer)
{
    std::vector<char> out(LIST_ENTRY_SIZE);
    ASSERT_TRUE(MakeSearchPattern("C:\\", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "C:\\*.*");
    ASSERT_TRUE(MakeSearchPattern("C:\\Data", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "C:\\Data\\*.*");
    ASSERT_TRUE(MakeDirectoryEntry("Data", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "[Data]");

    EXPECT_EQ(LongestFit(256, [](size_t n, char *out, size_t size) {
        return MakeSearchPattern(std::string(n, 'd').c_str(), out, size);
    }), 251);
    EXPECT_EQ(LongestFit(256, [](size_t n, char *out, size_t size) {
        return MakeSearchPattern((std::string(n, 'd') + "\\").c_str(), out, size);
    }) + 1, 252);
    EXPECT_EQ(LongestFit(256, [](size_t n, char *out, size_t size) {
        return MakeDirectoryEntry(std::string(n, 'd').c_str(), out, size);
    }), 253);
}

TEST(DirText, NameOutsideTheCodePageIsListedByItsShortName)
{
    /* "?" is found byte by byte: in 932 a lone lead byte before it (95 3F)
       must not hide it. */
    const struct { const CodePage &page; const char *name, *shortName, *listed; } cases[] = {
        { kSingleByte, "???", "___~~UJN", "___~~UJN" }, { kSingleByte, "a?b", "AB~1", "AB~1" },
        { kSingleByte, "???", "", "???" }, { kSingleByte, "Program Files", "PROGRA~1", "Program Files" },
        { kSingleByte, "Data", "", "Data" },
        { k932, "\x95?", "_~1", "_~1" },
    };
    for (const auto &c : cases) {
        UsingCodePage page(c.page);
        EXPECT_STREQ(ListedName(c.name, c.shortName), c.listed) << c.page.name << " " << c.name;
    }
}

TEST(DirText, OnlyDotAndDotDotAreTheSearchsOwn)
{
    EXPECT_TRUE(IsDotOrDotDot("."));
    EXPECT_TRUE(IsDotOrDotDot(".."));
    for (const char *name : { "...", ".x", "x.", "", ". ", "..x" })
        EXPECT_FALSE(IsDotOrDotDot(name)) << name;
}
