// Widgets that are members of a fixture need the application before the first test.
#include "gui_test_support.h"

#include <gtest/gtest.h>

namespace {
struct CAppEnvironment : ::testing::Environment {
    void SetUp() override { EnsureApp(); }
};
[[maybe_unused]] auto* const g_pEnv = ::testing::AddGlobalTestEnvironment(new CAppEnvironment);
} // namespace
