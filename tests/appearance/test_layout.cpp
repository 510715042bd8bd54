#include "appearance/layout.h"

#include <gtest/gtest.h>

namespace {

// The designed window: 12210 x 9495 twips outside, a client area 8595 high.
constexpr int kWidth = 12210;
constexpr int kHeight = 9495;
constexpr int kClient = 8595;

MainLayout arranged(int width, int height, int client)
{
    MainLayout layout = designedMainLayout();
    arrangeMainLayout(layout, width, height, client);
    return layout;
}

} // namespace

TEST(MainLayout, DesignedSizePutsTheStatusLineOnTheBottomEdge)
{
    MainLayout l = arranged(kWidth, kHeight, kClient);
    EXPECT_EQ(l.lbMsg.top, kClient - 315);
    EXPECT_EQ(l.lbMsg.width, kWidth - 100);
    EXPECT_EQ(l.btnStart.top, l.lbMsg.top - 315 - 585);
    for (const TwipRect& button : { l.btnEst, l.btnStop, l.btnEnd })
        EXPECT_EQ(button.top, l.btnStart.top);
    EXPECT_EQ(l.lstCopied.height, l.btnStart.top - 315 - 2505);
    EXPECT_EQ(l.lstCopied.width, kWidth - 300 - 4230);
    EXPECT_EQ(l.lbCheckFile.width, l.lstCopied.width);
    EXPECT_EQ(l.lbSec.top + l.lbSec.height, l.lstCopied.top + l.lstCopied.height);
    EXPECT_EQ(l.lbSecDesc.top, l.lbSec.top + 100);
    EXPECT_EQ(l.imgBG.width, kWidth);
    EXPECT_EQ(l.imgBG.height, l.lbMsg.top);
}

TEST(MainLayout, TallerWindowMovesTheBottomRowDown)
{
    MainLayout before = arranged(kWidth, kHeight, kClient);
    MainLayout after = arranged(kWidth, kHeight + 1500, kClient + 1500);
    EXPECT_EQ(after.lbMsg.top, before.lbMsg.top + 1500);
    EXPECT_EQ(after.btnStart.top, before.btnStart.top + 1500);
    EXPECT_EQ(after.btnEnd.top, before.btnEnd.top + 1500);
    EXPECT_EQ(after.lstCopied.height, before.lstCopied.height + 1500);
    EXPECT_EQ(after.lstCopied.top, before.lstCopied.top);
    EXPECT_EQ(after.lbSec.top, before.lbSec.top + 1500);
    EXPECT_EQ(after.lbSecDesc.top, before.lbSecDesc.top + 1500);
    EXPECT_EQ(after.lstCopied.width, before.lstCopied.width);
}

TEST(MainLayout, WiderWindowWidensOnlyTheStretchingControls)
{
    MainLayout before = arranged(kWidth, kHeight, kClient);
    MainLayout after = arranged(kWidth + 1500, kHeight, kClient);
    EXPECT_EQ(after.lbMsg.width, before.lbMsg.width + 1500);
    EXPECT_EQ(after.lstCopied.width, before.lstCopied.width + 1500);
    EXPECT_EQ(after.lbCheckFile.width, before.lbCheckFile.width + 1500);
    EXPECT_EQ(after.imgBG.width, before.imgBG.width + 1500);
    EXPECT_EQ(after.btnStart.left, before.btnStart.left);
    EXPECT_EQ(after.btnEnd.left, before.btnEnd.left);
    EXPECT_EQ(after.btnEnd.top, before.btnEnd.top);
}

TEST(MainLayout, BelowTheMinimumOnlyTheBackgroundFollows)
{
    // Exactly the minimum still rearranges.
    MainLayout atMinimum = arranged(12000, 9000, 8100);
    EXPECT_EQ(atMinimum.lbMsg.top, 8100 - 315);

    // One twip less keeps the last arrangement (here: a larger one).
    MainLayout layout = designedMainLayout();
    arrangeMainLayout(layout, kWidth + 3000, kHeight + 2000, kClient + 2000);
    const MainLayout large = layout;
    arrangeMainLayout(layout, 11999, 9000, 8100);
    EXPECT_EQ(layout.lbMsg.top, large.lbMsg.top);
    EXPECT_EQ(layout.lstCopied.width, large.lstCopied.width);
    EXPECT_EQ(layout.imgBG.width, 11999);
    arrangeMainLayout(layout, 12000, 8999, 8099);
    EXPECT_EQ(layout.btnStart.top, large.btnStart.top);
    EXPECT_EQ(layout.imgBG.width, 12000);
}

TEST(MainLayout, MinimisedWindowChangesNothingButTheBackground)
{
    MainLayout layout = arranged(kWidth, kHeight, kClient);
    const MainLayout before = layout;
    arrangeMainLayout(layout, 0, 0, 0);
    EXPECT_EQ(layout.lbMsg.top, before.lbMsg.top);
    EXPECT_EQ(layout.lstCopied.height, before.lstCopied.height);
    EXPECT_EQ(layout.imgBG.width, 0);
    EXPECT_EQ(layout.imgBG.height, before.lbMsg.top);
}

TEST(MainLayout, NegativeSizesAreLeftOut)
{
    // A client area too short for the list: its height would go negative and
    // keeps its value while the rest is arranged.
    MainLayout layout = designedMainLayout();
    arrangeMainLayout(layout, 12000, 9000, 2000);
    EXPECT_EQ(layout.lstCopied.height, 4350);
    EXPECT_EQ(layout.lbMsg.top, 2000 - 315);
    EXPECT_EQ(layout.lstCopied.width, 12000 - 300 - 4230);
}
