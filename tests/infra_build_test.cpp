// The test program itself is built the way the other tests rely on.
#include <gtest/gtest.h>

namespace {

#ifdef GENREG_FAULT_INJECTION
constexpr bool kFaultInjectionBuilt = true;
#else
constexpr bool kFaultInjectionBuilt = false;
#endif

// Without the fault-injection points, every test that fails an OS call on
// purpose would pass without exercising its failure path.
TEST(InfraBuild, TestsAreBuiltWithFaultInjection) {
    EXPECT_TRUE(kFaultInjectionBuilt)
        << "configure with GENREG_FAULT_INJECTION=ON (the default when tests are built)";
}

}  // namespace
