#include "TempHome.h"

#include <gtest/gtest.h>

namespace {
// The process-wide network access manager places its HTTP cache under XDG_CACHE_HOME when first used;
// keep that, like every other file, in a temporary home for the whole run.
class TemporaryHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_home = std::make_unique<lumivra::test::TempHome>(); }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<lumivra::test::TempHome> m_home;
};

[[maybe_unused]] const auto *const environment =
    ::testing::AddGlobalTestEnvironment(new TemporaryHomeEnvironment);
} // namespace
