#pragma once
// The shared robustness files beside the checkout (PngSuite and others).
// Where they are missing a test skips, except in CI (CI=true), where a skip
// would pass a robustness test that never ran.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

inline bool runningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

#define VEMU_REQUIRE_TESTDATA(path)                                                                \
    do {                                                                                           \
        if (!std::filesystem::exists(path)) {                                                      \
            if (runningInCi()) {                                                                   \
                FAIL() << "no test data at " << (path)                                             \
                       << " (../shared/testdata, beside the "                                      \
                          "checkout)";                                                             \
            }                                                                                      \
            GTEST_SKIP() << "no test data at " << (path);                                          \
        }                                                                                          \
    } while (false)
