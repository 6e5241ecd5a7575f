#include "platform/CFormat.h"

#include <gtest/gtest.h>

#include <clocale>

namespace quoril {
namespace {

// Finds an installed locale whose decimal point is a comma, if the machine has one.
const char* commaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name)) {
            bool comma = std::localeconv()->decimal_point[0] == ',';
            std::setlocale(LC_ALL, "C");
            if (comma) {
                return name;
            }
        }
    }
    return nullptr;
}

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

TEST(CFormatTest, CommaLocaleDoesNotChangeNumbers) {
    const char* name = commaLocale();
    if (!name) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    std::setlocale(LC_ALL, name);
    EXPECT_EQ(cformat("VOLUME=%5.1f", -30.0), "VOLUME=-30.0");
    EXPECT_DOUBLE_EQ(cstrtod("-6.5"), -6.5);
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace quoril
