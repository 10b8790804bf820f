// Output helpers: numbers, columns and the readers' error texts.
#include "devhost/engine/Text.h"

#include <gtest/gtest.h>

using namespace zorvahost;

TEST(Text, Fixed_RoundsAndDropsTheSignOfZero)
{
    EXPECT_EQ(Fixed(0.6, 3), "0.600");
    EXPECT_EQ(Fixed(-0.0004, 3), "0.000");
    EXPECT_EQ(Fixed(-0.0, 1), "0.0");
    EXPECT_EQ(Fixed(-2.5, 0), "-2");
    EXPECT_EQ(Short(2.0), "2");
    EXPECT_EQ(Short(2.50), "2.5");
    EXPECT_EQ(Short(1796.96, 1), "1797");
}

TEST(Text, Table_ColumnsAlignedLastNotPadded)
{
    Table table;
    table.Add({"a", "long cell", "x"});
    table.Add({"bbb", "c", ""});
    EXPECT_EQ(table.Render("> "), "> a    long cell  x\n> bbb  c\n");
}

TEST(Text, ErrorLines_OneTrimmedLinePerMessage)
{
    const std::wstring text = L"Unknown keyword in configuration file at line 3 \r\n"
                              L"Summary error in configuration file: \r\nCombined platform count incorrect\r\n ";
    const std::vector<std::string> lines = ErrorLines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Unknown keyword in configuration file at line 3");
    EXPECT_EQ(lines[1], "Summary error in configuration file:");
    EXPECT_EQ(lines[2], "Combined platform count incorrect");
    EXPECT_TRUE(ErrorLines(L"").empty());
    // Windows-1252 bytes pass as they are.
    EXPECT_EQ(ErrorLines(std::wstring(1, wchar_t(0x92)))[0], std::string(1, '\x92'));
}
