// Run from a folder without libqvutil: the cluster arithmetic does not depend
// on the library being there.
#include "run/estimate.h"

#include <gtest/gtest.h>

TEST(ClusterRoundingWithoutLibrary, AFileStillTakesWholeClusters)
{
    EXPECT_EQ(roundToClusters(1, 4096), 4096);
    EXPECT_EQ(roundToClusters(4096, 4096), 4096);
    EXPECT_EQ(roundToClusters(4097, 4096), 8192);
    EXPECT_EQ(roundToClusters(0, 4096), 0);

    EstimateSums sums(4096);
    sums.addFile(4097, 1);
    EXPECT_EQ(sums.dbNeedSum, 4096);
}
