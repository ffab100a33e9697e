#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "../../uninstall/removal_text.h"

/* Which records name the installation folder: the INI record as typed, the
   uninstall string as written, a link's target. */
TEST(RemovalText, RecordsNameOnlyTheirOwnFolder)
{
    const struct { const CodePage &page; const char *record, *folder; bool names; } records[] = {
        { kSingleByte, "C:\\Program Files\\Morvalen", "c:\\program files\\MORVALEN\\", true },
        { kSingleByte, "C:\\Apps\\Morvalen\\\\", "C:\\Apps\\\\Morvalen", true },
        /* typed without a drive root: completed with the drive it went to */
        { kSingleByte, "\\Apps\\Morvalen", "D:\\Apps\\Morvalen", true },
        { kSingleByte, "Morvalen", "C:\\Morvalen", true },
        { kSingleByte, "C:Morvalen", "C:\\Morvalen", true },
        { kSingleByte, "C:\\Morvalen", "D:\\Morvalen", false },
        { kSingleByte, "C:\\Morvalen2", "C:\\Morvalen", false },
        { kSingleByte, "C:\\Morvalen", "C:\\Morvalen\\Sub", false },
        { kSingleByte, "", "C:\\Morvalen", false },
        { kSingleByte, "\\\\Server\\Apps\\Morvalen", "\\\\server\\apps\\MORVALEN", true },
        { kSingleByte, "\\server\\apps\\Morvalen", "\\\\server\\apps\\Morvalen", false },
        /* 83 61 and 83 41 are two characters of 932: a trail byte is never
           folded like a letter; 95 5C ends in the separator's byte */
        { kSingleByte, "C:\\\x83\x61", "C:\\\x83\x41", true },
        { k932, "C:\\\x83\x61", "C:\\\x83\x41", false },
        { kSingleByte, "C:\\\x95", "C:\\\x95\x5c", true },
        { k932, "C:\\\x95", "C:\\\x95\x5c", false },
        { k932, "C:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c", "c:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c", true },
    };
    for (const auto &c : records) {
        UsingCodePage page(c.page);
        EXPECT_EQ(RecordNamesFolder(c.record, c.folder), c.names) << c.page.name << " " << c.record;
    }

    const struct { const char *value; bool names; } strings[] = {
        { "\"C:\\Program Files\\Morvalen\\UNINSTAL.EXE\"", false },
        { "\"C:\\MORVALEN\\UNINSTAL.EXE\"", true },
        { "C:\\MORVALEN\\UNINSTAL.EXE", true },
        { "c:\\morvalen\\\\uninstal.exe", true },
        { "C:\\MORVALEN\\SETUP.EXE", false },
        { "C:\\MORVALEN\\SUB\\UNINSTAL.EXE", false },
        { "C:\\OTHER\\UNINSTAL.EXE", false },
        { "\"C:\\MORVALEN\\UNINSTAL.EXE\" /S", false },
        { "\"C:\\MORVALEN\\UNINSTAL.EXE", false },
        { "", false },
    };
    for (const auto &c : strings)
        EXPECT_EQ(UninstallStringNamesFolder(c.value, "C:\\Morvalen"), c.names) << c.value;
    EXPECT_TRUE(UninstallStringNamesFolder("\"C:\\Program Files\\Morvalen\\UNINSTAL.EXE\"",
                                           "C:\\Program Files\\Morvalen"));

    const struct { const char *target, *folder; bool inside; } targets[] = {
        { "C:\\MORVALEN\\MORVALEN.EXE", "C:\\Morvalen", true },
        { "C:\\MORVALEN.EXE", "C:\\Morvalen", false },
        { "C:\\MORVALEN\\SUB\\README.TXT", "C:\\Morvalen", false },
        { "C:\\ORDER.TXT", "C:\\", true },
        { "MORVALEN.EXE", "C:\\Morvalen", false },
    };
    for (const auto &c : targets)
        EXPECT_EQ(PathInFolder(c.target, c.folder), c.inside) << c.target;
}

TEST(RemovalText, FolderOfTheProgramsOwnPath)
{
    const struct { const CodePage &page; const char *path, *folder; } cases[] = {
        { kSingleByte, "C:\\Program Files\\Morvalen\\Uninstal.exe", "C:\\Program Files\\Morvalen" },
        { kSingleByte, "C:\\Uninstal.exe", "C:\\" },
        { kSingleByte, "\\\\server\\apps\\Uninstal.exe", "\\\\server\\apps\\" },
        { k932, "C:\\\x95\x5c\\Uninstal.exe", "C:\\\x95\x5c" },
        { kSingleByte, "C:\\\x95\x5c" "Uninstal.exe", "C:\\\x95" },
        { k932, "C:\\\x95\x5c" "Uninstal.exe", "C:\\" },
    };
    for (const auto &c : cases) {
        UsingCodePage page(c.page);
        std::vector<char> out(TextLength(c.folder) + 1, 'x');
        EXPECT_TRUE(FolderOfPath(c.path, out.data(), out.size())) << c.path;
        EXPECT_STREQ(out.data(), c.folder);
        EXPECT_FALSE(FolderOfPath(c.path, out.data(), out.size() - 1)) << c.path;
    }
    char out[8];
    EXPECT_FALSE(FolderOfPath("Uninstal.exe", out, sizeof out));
}

TEST(RemovalText, SilentSwitchFollowsTheProgramsName)
{
    const struct { const char *commandLine; bool silent; } cases[] = {
        { "\"C:\\Program Files\\Morvalen\\Uninstal.exe\" /S", true },
        { "Uninstal.exe /s", true },
        { "Uninstal.exe -S", true },
        { "Uninstal.exe  other  /S", true },
        { "\"C:\\a /S\\Uninstal.exe\"", false },
        { "C:\\a\\Uninstal.exe/S", false },
        { "Uninstal.exe /Sx", false },
        { "Uninstal.exe", false },
        { "", false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(HasSilentSwitch(c.commandLine), c.silent) << c.commandLine;
}

/* WININIT.INI is shared: every other program's line stays, in its place. */
TEST(RemovalText, RestartDeletionJoinsTheRenameSection)
{
    const struct { const char *before, *after; } cases[] = {
        { "", "[rename]\r\nNUL=C:\\X.TMP\r\n" },
        { "[Rename]\r\nNUL=C:\\Y.TMP\r\n", "[Rename]\r\nNUL=C:\\X.TMP\r\nNUL=C:\\Y.TMP\r\n" },
        { " [RENAME] \nNUL=C:\\Y.TMP\n", " [RENAME] \nNUL=C:\\X.TMP\r\nNUL=C:\\Y.TMP\n" },
        { "[rename]", "[rename]\r\nNUL=C:\\X.TMP\r\n" },
        { "[other]\r\nNUL=C:\\Y.TMP", "[other]\r\nNUL=C:\\Y.TMP\r\n[rename]\r\nNUL=C:\\X.TMP\r\n" },
        { "[renamed]\r\n", "[renamed]\r\n[rename]\r\nNUL=C:\\X.TMP\r\n" },
        { "[other]\r\na=b\r\n[rename]\r\nC:\\A=C:\\B\r\n", "[other]\r\na=b\r\n[rename]\r\nNUL=C:\\X.TMP\r\nC:\\A=C:\\B\r\n" },
    };
    for (const auto &c : cases) {
        size_t exact = TextLength(c.after) + 1;
        std::vector<char> text = Holding(c.before, exact);
        EXPECT_TRUE(AddRenameDeletion(text.data(), exact, "C:\\X.TMP")) << c.before;
        EXPECT_STREQ(text.data(), c.after);
        std::vector<char> small = Holding(c.before, exact - 1);
        EXPECT_FALSE(AddRenameDeletion(small.data(), exact - 1, "C:\\X.TMP")) << c.before;
    }
}

TEST(RemovalText, MessagesNamesAndBlankFiles)
{
    std::vector<char> out(64, 'x');
    ASSERT_TRUE(FormatWithText("Remove Morvalen 2.0 from %s?", "C:\\MORVALEN", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "Remove Morvalen 2.0 from C:\\MORVALEN?");
    EXPECT_EQ(LongestFit(64, [](size_t n, char *out, size_t size) {
        return FormatWithText("Can't remove \"%s\".", std::string(n, 'f').c_str(), out, size);
    }), 64 - 17);
    ASSERT_TRUE(FormatPrivateName(0x0012abcfu, out.data(), 16));
    EXPECT_STREQ(out.data(), "~mv0012abcf.tmp");
    EXPECT_FALSE(FormatPrivateName(1, out.data(), 15));
    EXPECT_TRUE(IsBlankText("\r\n \t\r\n", 6));
    EXPECT_TRUE(IsBlankText("", 0));
    EXPECT_FALSE(IsBlankText("[install]\r\n", 11));
}
