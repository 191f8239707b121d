#include "text/codepage.h"
#include "text/memoryfile.h"

#include <gtest/gtest.h>

#include <vector>

using namespace text;

namespace {

MemoryFile FileHolding(std::string_view text) {
    MemoryFile file = OpenMemoryFile();
    file.WriteText(text);
    file.SeekFileStart();
    return file;
}

std::vector<Text> AllLines(MemoryFile& file) {
    std::vector<Text> lines;
    while (!file.AtFileEnd() && lines.size() < 100)
        lines.push_back(file.ReadLine());
    return lines;
}

TEST(MemoryFile, CutsTextIntoLines) {
    const std::string edge(511, 'a');
    const std::pair<std::string, std::vector<Text>> cases[] = {
        {"first\r\nsecond", {"first", "second"}},
        {"one\n\ntwo\n", {"one", "", "two"}},
        {"a\rb\r\r\n", {"a\rb\r"}},
        // A line feed right after a lead byte is that character's trail.
        {"\xB0\nx\ny", {"\xB0\nx", "y"}},
        {"ab\xB0", {"ab\xB0"}},
        // The character straddles the first 512-byte block: still one line.
        {edge + "\xB0\nb\nc", {edge + "\xB0\nb", "c"}},
        {edge + "\xB0", {edge + "\xB0"}},
        {std::string(1500, 'x') + "\n", {std::string(1500, 'x')}},
    };
    for (const auto& [text, lines] : cases) {
        MemoryFile file = FileHolding(text);
        EXPECT_EQ(AllLines(file), lines) << text;
    }
}

TEST(MemoryFile, StopsBeforeAnEndOfTextMark) {
    MemoryFile file = FileHolding("a\x1A"
                                  "b");
    EXPECT_EQ(file.ReadLine(), "a");
    EXPECT_FALSE(file.AtFileEnd());
    EXPECT_TRUE(file.AtFileEnd(true));
    EXPECT_EQ(file.ReadLine(), "");
    EXPECT_EQ(file.ReadLine(), "");
    EXPECT_FALSE(file.AtFileEnd());
    // Inside a character the mark is a trail byte.
    MemoryFile inside = FileHolding("\xB0\x1A"
                                    "b");
    EXPECT_EQ(inside.ReadLine(), "\xB0\x1A"
                                 "b");
}

TEST(MemoryFile, WritesAtThePosition) {
    MemoryFile file = OpenMemoryFile();
    EXPECT_TRUE(file.WriteText("abcdef"));
    file.SeekFileStart();
    EXPECT_TRUE(file.WriteText("XY", 7, true));
    file.SeekFileStart();
    EXPECT_EQ(file.ReadLine(), "XY7" + Gbk(u8"真") + "f"); // over "abcdef"
    // A text ends at its first zero byte.
    MemoryFile zero = OpenMemoryFile();
    zero.WriteText(std::string_view("a\0b", 3));
    zero.SeekFileStart();
    EXPECT_EQ(zero.ReadLine(), "a");
    EXPECT_TRUE(zero.AtFileEnd());
}

TEST(MemoryFile, ClosedFileRefusesEverything) {
    MemoryFile files[2] = {FileHolding("line"), MemoryFile()};
    files[0].CloseFile();
    for (MemoryFile& closed : files) {
        EXPECT_FALSE(closed.IsOpen());
        EXPECT_FALSE(closed.WriteText("x"));
        EXPECT_FALSE(closed.SeekFileStart());
        EXPECT_TRUE(closed.AtFileEnd());
        EXPECT_EQ(closed.ReadLine(), "");
    }
}

} // namespace
