#include <gtest/gtest.h>
#include <string>
#include "files/path_text.h"

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
