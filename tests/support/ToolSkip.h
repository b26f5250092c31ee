// Tests that need a tool, a corpus or a service no one here wrote. `make test` installs every one
// of them (scripts/setup.sh), so in CI (CI=true in the environment) a missing one can only be a
// broken set-up: the test fails there instead of skipping and hiding it. Elsewhere it skips.
// Used like GTEST_SKIP, in the test's own body or SetUp:
//   if (!HaveTool("tiffcp")) KW_SKIP_UNLESS_CI() << "tiffcp (libtiff-tools) is not installed";
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

inline bool RunningInCI() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

inline ::testing::TestPartResult::Type MissingToolResult() {
    return RunningInCI() ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip;
}

inline const char* MissingToolNote() {
    return RunningInCI() ? "CI=true: make test installs every tool and corpus the tests use, so this is a broken set-up" : "";
}

}  // namespace testsupport

#define KW_SKIP_UNLESS_CI() \
    return GTEST_MESSAGE_(::testsupport::MissingToolNote(), ::testsupport::MissingToolResult())
