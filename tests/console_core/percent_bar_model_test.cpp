// The percent bar's numbers: the filled width for any position, and when a new position
// asks for a repaint.
#include "console/core/percent_bar_model.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(PercentBarModel, FilledWidthHeldToTheClientArea) {
    struct Case {
        int lower, upper, position, width, filled;
    } cases[] = {
        {0, 100, 50, 200, 100},
        {0, 100, 0, 200, 0},
        {0, 100, 100, 200, 200},
        {0, 100, 150, 200, 200},
        {0, 100, -5, 200, 0},
        {0, 40000, 16384, 110, 45},
        {INT_MIN, INT_MAX, INT_MAX, 300, 300},
        {0, 1, INT_MIN, 10, 0},
        {5, 5, 5, 100, 0},
    };
    for (const Case& c : cases) {
        PercentBarModel bar;
        bar.SetRange(c.lower, c.upper);
        bool repaint = false;
        bar.SetPos(c.position, c.width, &repaint);
        EXPECT_EQ(bar.FilledWidth(c.width), c.filled)
            << c.lower << ".." << c.upper << " @ " << c.position;
        EXPECT_EQ(bar.Draws(), c.lower < c.upper);
    }
}

TEST(PercentBarModel, SetPosRepaintsOnlyWhenTheWidthChanges) {
    PercentBarModel bar;
    bar.SetRange(0, 1000);
    struct Step {
        int position;
        bool resizedBefore;
        int old;
        bool repaint;
    } steps[] = {
        {500, false, 0, true},                               // 100 pixels: at once
        {502, false, 500, false}, {504, false, 502, false},  // still 100 pixels
        {510, false, 504, true},                             // 102 pixels
        {510, true, 510, true},  // same position, but the width is no longer known
        {510, false, 510, false},
    };
    for (const Step& step : steps) {
        if (step.resizedBefore) bar.Resized();
        bool repaint = false;
        EXPECT_EQ(bar.SetPos(step.position, 200, &repaint), step.old);
        EXPECT_EQ(repaint, step.repaint) << step.position;
    }
    EXPECT_EQ(bar.Pos(), 510);
}

}  // namespace
