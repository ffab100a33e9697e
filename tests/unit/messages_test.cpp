#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "messages.h"

static const std::string kMakePath = "Unable to install:  Can't make path \"";

TEST(Messages, MakePathMessageCutsALongDirectory)
{
    std::vector<char> out(512, 'x');
    FormatMakePathMessage("C:\\Apps\\Morvalen", out.data(), out.size());
    EXPECT_EQ(out.data(), kMakePath + "C:\\Apps\\Morvalen\"");

    std::string whole = std::string(473, 'd');
    FormatMakePathMessage(whole.c_str(), out.data(), out.size());
    EXPECT_EQ(out.data(), kMakePath + whole + "\"");
    EXPECT_EQ(std::string(out.data()).size(), 511u);

    for (size_t length : { 474, 475, 511, 2000 }) {
        std::string dir = "C:\\" + std::string(length - 3, 'd');
        FormatMakePathMessage(dir.c_str(), out.data(), out.size());
        std::string text = out.data();
        EXPECT_LE(text.size(), 511u) << length;
        EXPECT_EQ(text.substr(0, kMakePath.size() + 3), kMakePath + "C:\\") << length;
        ASSERT_GE(text.size(), 4u);
        EXPECT_EQ(text.substr(text.size() - 4), "...\"") << length;
    }
    /* A double-byte directory is cut between characters: 表 (95 5C) is two bytes. */
    {
        UsingCodePage page(k932);
        for (std::string start : { "C:\\", "C:\\x" }) {
            std::string dir = start;
            while (dir.size() < 600)
                dir += "\x95\x5c";
            FormatMakePathMessage(dir.c_str(), out.data(), out.size());
            std::string text = out.data();
            size_t kept = text.size() - 4 - kMakePath.size() - start.size();
            EXPECT_EQ(kept % 2, 0u) << start;
            EXPECT_EQ(text.substr(text.size() - 4), "...\"") << start;
        }
    }
    /* Whatever a small buffer can hold, it stays terminated inside it. */
    for (size_t size = 1; size < 50; size++) {
        std::vector<char> tiny(size, 'x');
        FormatMakePathMessage("C:\\Apps\\Morvalen", tiny.data(), size);
        EXPECT_NE(std::string(tiny.data(), size).find('\0'), std::string::npos) << size;
    }
    FormatMakePathMessage("C:\\", nullptr, 0);
}

TEST(Messages, CopyMessage)
{
    const std::string text = "Unable to install:  Can't copy file \"Order.txt\"";
    std::vector<char> out(text.size() + 1, 'x');
    EXPECT_TRUE(FormatCopyMessage("Order.txt", out.data(), out.size()));
    EXPECT_EQ(out.data(), text);
    std::vector<char> small(text.size(), 'x');
    EXPECT_FALSE(FormatCopyMessage("Order.txt", small.data(), small.size()));
}

TEST(Messages, LaunchCommandsQuoteThePath)
{
    std::vector<char> out(512, 'x');
    ASSERT_TRUE(FormatStartCommand("C:\\Program Files\\Morvalen", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "\"C:\\Program Files\\Morvalen\\Morvalen.exe\"");
    ASSERT_TRUE(FormatStartCommand("C:\\", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "\"C:\\\\Morvalen.exe\"");
    /* Notepad by its full path, quoted too: a blank in the Windows directory
       must not start another program either. */
    ASSERT_TRUE(FormatReadmeCommand("C:\\WINDOWS\\notepad.exe", "C:\\Program Files\\Morvalen",
                                    out.data(), out.size()));
    EXPECT_STREQ(out.data(), "\"C:\\WINDOWS\\notepad.exe\" \"C:\\Program Files\\Morvalen\\readme.txt\"");
    ASSERT_TRUE(FormatReadmeCommand("D:\\My Windows\\notepad.exe", "C:\\", out.data(), out.size()));
    EXPECT_STREQ(out.data(), "\"D:\\My Windows\\notepad.exe\" \"C:\\\\readme.txt\"");

    /* The directory lengths where the 512-byte command is exactly full. */
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatStartCommand(std::string(n, 'd').c_str(), out, size);
    }), 496);
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatStartCommand((std::string(n, 'd') + "\\").c_str(), out, size);
    }) + 1, 496);
    const char *notepad = "C:\\WINDOWS\\system32\\notepad.exe";
    EXPECT_EQ(LongestFit(512, [&](size_t n, char *out, size_t size) {
        return FormatReadmeCommand(notepad, std::string(n, 'd').c_str(), out, size);
    }), 464);
    /* A Notepad path that leaves no room for the readme's is refused whole. */
    EXPECT_EQ(LongestFit(512, [](size_t n, char *out, size_t size) {
        return FormatReadmeCommand(std::string(n, 'n').c_str(), "C:\\M", out, size);
    }), 491);
}
