#include <gtest/gtest.h>
#include <string>
#include "fit.h"
#include "files/path_text.h"

TEST(PathText, ResolveInstallDir)
{
    const struct { std::string dir; char drive; bool ok; std::string resolved; } cases[] = {
        { "C:\\A\\\\B\\", 'C', true, "C:\\A\\B" },
        { "d:\\work", 'C', true, "D:\\work" },
        { "Apps\\Morvalen", 'C', true, "C:\\Apps\\Morvalen" },
        { "\\Apps\\Morvalen", 'C', true, "C:\\Apps\\Morvalen" },
        { "\\\\Apps\\\\", 'E', true, "E:\\Apps" },
        { "C:Foo", 0, true, "C:\\Foo" },
        { "C:", 0, true, "C:\\" },
        { "C:\\", 0, true, "C:\\" },
        { "", 'C', true, "C:\\" },
        { "C:\\a/b\\c", 0, true, "C:\\a/b\\c" },
        { "Apps", 0, false, "" },
        { "", 0, false, "" },
        { "C:\\" + std::string(508, 'a'), 0, true, "C:\\" + std::string(508, 'a') },
        { "C:\\" + std::string(508, 'a') + "\\\\", 0, true, "C:\\" + std::string(508, 'a') },
        { "C:\\" + std::string(509, 'a'), 0, false, "" },
        { std::string(250, 'a') + "\\" + std::string(257, 'b'), 'C', true,
          "C:\\" + std::string(250, 'a') + "\\" + std::string(257, 'b') },
        { std::string(250, 'a') + "\\" + std::string(258, 'b'), 'C', false, "" },
    };
    for (const auto &c : cases) {
        std::vector<char> out(512, 'x');
        EXPECT_EQ(ResolveInstallDir(c.dir.c_str(), c.drive, out.data(), out.size()), c.ok) << c.dir;
        if (c.ok) {
            EXPECT_EQ(out.data(), c.resolved);
        }
    }
}

TEST(PathText, NextComponentCutsInPlaceAndSkipsEmptyOnes)
{
    char text[] = "A\\\\B\\";
    char *cursor = text;
    char *first = NextComponent(&cursor);
    char *second = NextComponent(&cursor);
    EXPECT_EQ(first, text);
    EXPECT_STREQ(first, "A");
    EXPECT_EQ(second, text + 3);
    EXPECT_STREQ(second, "B");
    EXPECT_EQ(NextComponent(&cursor), nullptr);
    EXPECT_EQ(NextComponent(&cursor), nullptr);

    char rooted[] = "\\Apps\\Morvalen";
    cursor = rooted;
    EXPECT_STREQ(NextComponent(&cursor), "Apps");
    EXPECT_STREQ(NextComponent(&cursor), "Morvalen");
    EXPECT_EQ(NextComponent(&cursor), nullptr);

    char empty[] = "";
    cursor = empty;
    EXPECT_EQ(NextComponent(&cursor), nullptr);
}
