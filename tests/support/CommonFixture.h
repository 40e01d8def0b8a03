// The common services on the in-memory platform, for tests of one module at a time.
#pragma once

#include <gtest/gtest.h>

#include "common/Common.h"
#include "platform/sim/FakePlatform.h"

namespace bridge::testing {

class CommonFixture : public ::testing::Test {
 protected:
  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  common::UTC utc{fake.clock};
  // The common module and the locale getters refer to each other; neither uses the other
  // while it is being built.
  common::Common common{platform, utc, locale};
  common::LocaleInfo locale{fake.system, common};
};

}  // namespace bridge::testing
