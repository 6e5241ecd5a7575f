#include "platform/CFormat.h"

#include <gtest/gtest.h>

namespace quoril {
namespace {

TEST(CFormatTest, FormatsLikePrintfInTheCLocale) {
    EXPECT_EQ(cformat("VOLUME=%5.1f", -30.0), "VOLUME=-30.0");
    EXPECT_EQ(cformat("RATE=%10.3f", 44100.0), "RATE= 44100.000");
    EXPECT_EQ(cformat("%s|%d", "x", 7), "x|7");
    std::string longText(1000, 'a');
    EXPECT_EQ(cformat("%s!", longText.c_str()), longText + "!");
}

TEST(CFormatTest, ParsesLikeStrtodAndStrtol) {
    char* end = nullptr;
    EXPECT_DOUBLE_EQ(cstrtod("  -3.5dB", &end), -3.5);
    EXPECT_STREQ(end, "dB");
    EXPECT_DOUBLE_EQ(cstrtod("abc"), 0.0);
    EXPECT_EQ(cstrtol(" -12x", &end), -12);
    EXPECT_STREQ(end, "x");
    EXPECT_EQ(cstrtol("z"), 0);
}

}  // namespace
}  // namespace quoril
