#include "demo/runtime/command_line.h"

#include <gtest/gtest.h>

namespace {

bool parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv(args);
    return parseFullscreenArgument(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, OnlyAnExactOneAnywhereMeansFullscreen) {
    EXPECT_FALSE(parse({"demo"}));
    EXPECT_TRUE(parse({"demo", "1"}));
    EXPECT_TRUE(parse({"demo", "x", "1"}));
    EXPECT_TRUE(parse({"1"})); // the program name counts too
    EXPECT_FALSE(parse({"demo", "01"}));
    EXPECT_FALSE(parse({"demo", "-1"}));
    EXPECT_FALSE(parse({"demo", "1 "}));
    EXPECT_FALSE(parse({"demo", " 1"}));
    EXPECT_FALSE(parse({"demo", "0"}));
    EXPECT_FALSE(parse({"demo", ""}));
    EXPECT_FALSE(parse({}));
}

} // namespace
