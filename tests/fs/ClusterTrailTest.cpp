// The trail of a chain walk: it tells a cluster passed before, whether the chain has kept to a
// few runs or has been cut into more runs than it keeps, when it counts them in a bitmap.

#include "fs/ClusterTrail.h"

#include <gtest/gtest.h>

namespace {

// A chain of fragments two clusters apart, fragments long, then back to a cluster passed.
void ExpectLoopFound(uint32_t fragments, uint32_t backTo) {
  SCOPED_TRACE(testing::Message() << fragments << " fragments, back to " << backTo);
  ClusterTrail trail(2, 1000);
  for (uint32_t f = 0; f < fragments; ++f) {
    EXPECT_TRUE(trail.Pass(2 + 3 * f));
    EXPECT_TRUE(trail.Pass(3 + 3 * f));
  }
  EXPECT_FALSE(trail.Pass(backTo));
  EXPECT_TRUE(trail.Pass(4));  // the gaps were never passed
  EXPECT_EQ(trail.Refused(), 1u);
}

TEST(ClusterTrail, ChainsOfFewAndOfManyRunsAlikeEndWhereTheyComeBack) {
  ExpectLoopFound(1, 2);
  ExpectLoopFound(1, 3);
  ExpectLoopFound(10, 3 + 3 * 9);
  ExpectLoopFound(100, 2);          // runs kept in the bitmap
  ExpectLoopFound(100, 3 + 3 * 99);  // passed after the switch
}

TEST(ClusterTrail, ClustersOutsideTheVolumeAreNeverRemembered) {
  ClusterTrail trail(2, 10);
  for (uint32_t cluster : {0u, 1u, 12u, 0xFFFFFFFFu}) {
    EXPECT_TRUE(trail.Pass(cluster));
    EXPECT_TRUE(trail.Pass(cluster));
  }
  EXPECT_TRUE(trail.Pass(11));
  EXPECT_FALSE(trail.Pass(11));
}

}  // namespace
