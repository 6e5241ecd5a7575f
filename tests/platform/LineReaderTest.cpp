#include "platform/LineReader.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TempDir.h"

namespace quoril {
namespace {

std::vector<std::string> readAll(LineReader& reader, size_t limit) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line, limit)) {
        lines.push_back(line);
    }
    return lines;
}

struct LineCase {
    const char* name;
    std::string text;
    size_t limit;
    std::vector<std::string> expected;
};

class LineReaderTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderTest, SplitsAsTextModeFgetsWould) {
    const LineCase& c = GetParam();
    LineReader fromText;
    fromText.openText(c.text);
    EXPECT_EQ(readAll(fromText, c.limit), c.expected);

    test::TempDir dir;
    LineReader fromFile;
    ASSERT_TRUE(fromFile.open(dir.write("f.txt", c.text)));
    EXPECT_EQ(readAll(fromFile, c.limit), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineReaderTest,
    testing::Values(LineCase{"crlf_becomes_lf", "A=1\r\nB=2\r\n", 1023, {"A=1\n", "B=2\n"}},
                    LineCase{"last_line_without_end", "A=1\nB", 1023, {"A=1\n", "B"}},
                    LineCase{"lone_cr_is_kept", "A\rB\n", 1023, {"A\rB\n"}},
                    LineCase{"cr_at_end_of_input", "A\r", 1023, {"A\r"}},
                    LineCase{"long_line_continues", "abcdefgh\n", 3, {"abc", "def", "gh\n"}},
                    LineCase{"limit_exactly_before_lf", "abc\nd\n", 3, {"abc", "\n", "d\n"}},
                    LineCase{"crlf_split_by_limit", "ab\r\nc", 2, {"ab", "\n", "c"}},
                    LineCase{"empty_input", "", 1023, {}},
                    LineCase{"blank_lines", "\n\r\n\n", 1023, {"\n", "\n", "\n"}}),
    [](const auto& info) { return info.param.name; });

TEST(LineReaderFileTest, MissingFileDoesNotOpen) {
    LineReader reader;
    EXPECT_FALSE(reader.open("/nonexistent/file.cue"));
    std::string line;
    EXPECT_FALSE(reader.readLine(line, 10));
}

}  // namespace
}  // namespace quoril
