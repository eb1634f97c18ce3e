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

TEST(CommandLine, GentleIsItsOwnSwitchBesideTheOne) {
    const std::vector<const char*> both{"demo", "--gentle", "1"};
    EXPECT_TRUE(parseGentleArgument(3, both.data()));
    EXPECT_TRUE(parseFullscreenArgument(3, both.data()));
    const std::vector<const char*> named{"--gentle", "-gentle", "gentle"};
    EXPECT_FALSE(parseGentleArgument(3, named.data())); // not the program name, nor near misses
}

} // namespace
