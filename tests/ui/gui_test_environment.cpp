// Linked into the test programs that share one plain application object.
#include "gui_test_support.h"

#include <gtest/gtest.h>

namespace {

// Widgets built as members of a test fixture need the application before the first test.
class CAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureApp(); }
};

[[maybe_unused]] ::testing::Environment* const g_pAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new CAppEnvironment);

} // namespace
