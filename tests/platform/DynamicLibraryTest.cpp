#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

namespace quoril {
namespace {

TEST(DynamicLibraryTest, FindsASymbolOfASystemLibrary) {
    DynamicLibrary library;
    ASSERT_TRUE(library.open("libm.so.6")) << library.error();
    auto cosine = library.function<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(library.symbol("no_such_symbol_here"), nullptr);
    EXPECT_FALSE(library.error().empty());
}

TEST(DynamicLibraryTest, MissingLibraryReportsAnError) {
    DynamicLibrary library;
    EXPECT_FALSE(library.open("/nonexistent/libnothing.so"));
    EXPECT_FALSE(library.isOpen());
    EXPECT_NE(library.error().find("libnothing"), std::string::npos);
    EXPECT_EQ(library.symbol("cos"), nullptr);
}

TEST(DynamicLibraryTest, MoveTransfersTheHandle) {
    DynamicLibrary first;
    ASSERT_TRUE(first.open("libm.so.6"));
    DynamicLibrary second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(second.isOpen());
    EXPECT_NE(second.symbol("sin"), nullptr);
}

}  // namespace
}  // namespace quoril
