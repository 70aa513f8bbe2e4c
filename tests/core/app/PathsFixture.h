#pragma once

#include "core/app/Paths.h"

#include <gtest/gtest.h>

namespace pexo {

// Installs a program file and an extraction base of the test's choosing.
class PathsTest : public ::testing::Test {
protected:
    void use(std::string exe, std::string base) {
        saved_ =
            setPathEnvironment(PathEnvironment{[exe] { return exe; }, [base] { return base; }});
    }
    void TearDown() override { setPathEnvironment(saved_); }
    PathEnvironment saved_;
};

} // namespace pexo
