#include "app/cli/ProgressBar.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(ProgressBar, StaysSilentForQuickJobs)
{
    std::ostringstream Out;
    ProgressBar Bar(Out);
    Bar.Update(10, 100, 0.2);
    Bar.Update(100, 100, 0.9);
    Bar.Finish(0.95);
    EXPECT_FALSE(Bar.IsShown());
    EXPECT_EQ(Out.str(), "");
}

TEST(ProgressBar, DrawsAfterTheDelayAtMostTenTimesASecond)
{
    std::ostringstream Out;
    ProgressBar Bar(Out);
    Bar.Update(1, 4, 0.5);
    EXPECT_EQ(Out.str(), "");
    Bar.Update(1, 4, 1.0);
    EXPECT_EQ(Out.str(), "\r[##########..............................]  25%    1.0 s");
    Out.str("");
    Bar.Update(2, 4, 1.05); // too soon
    EXPECT_EQ(Out.str(), "");
    Bar.Update(2, 4, 1.1);
    EXPECT_EQ(Out.str(), "\r[####################....................]  50%    1.1 s");
    Out.str("");
    // More frames than the header announced stop at the end of the bar.
    Bar.Update(9, 4, 1.3);
    EXPECT_EQ(Out.str(), "\r[########################################] 100%    1.3 s");
    Out.str("");
    Bar.Finish(1.31);
    EXPECT_EQ(Out.str(), "\r[########################################] 100%    1.3 s\n");
    EXPECT_TRUE(Bar.IsShown());
}

TEST(ProgressBar, AFailedJobEndsTheLineWhereTheBarStood)
{
    std::ostringstream Out;
    ProgressBar Bar(Out);
    Bar.Update(1, 4, 1.0);
    Out.str("");
    Bar.Finish(1.2, false);
    EXPECT_EQ(Out.str(), "\n");
}
