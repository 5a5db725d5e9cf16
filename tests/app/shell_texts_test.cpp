// The text and geometry rules that both platforms' shells share.
#include <gtest/gtest.h>

#include "app/splash.h"
#include "app/tray.h"

namespace {

TEST(TrayTexts, NameGoesIntoTooltipBalloonAndCloseItem) {
    const TrayTexts texts = MakeTrayTexts("Trailhost");
    EXPECT_EQ(texts.tooltip, "Trailhost");
    EXPECT_EQ(texts.balloonText, "Trailhost started");
    EXPECT_EQ(texts.balloonTitle, "Trailhost");
    EXPECT_EQ(texts.closeItem, "Close Trailhost");
}

TEST(TrayTexts, LongNamesAreCutToWhatTheTrayHolds) {
    const std::string name(300, 'n');
    const TrayTexts texts = MakeTrayTexts(name);
    EXPECT_EQ(texts.tooltip, std::string(127, 'n'));
    EXPECT_EQ(texts.balloonTitle, std::string(63, 'n'));
    EXPECT_EQ(texts.balloonText, std::string(255, 'n'));
    EXPECT_EQ(texts.closeItem, "Close " + name);
}

TEST(TrayTexts, RunningItemIsTheSameOnBothPlatforms) {
#ifdef _WIN32
    EXPECT_EQ(MakeTrayTexts("x").runningItem, "Anwendung l\xe4uft");
#else
    EXPECT_EQ(MakeTrayTexts("x").runningItem, "Anwendung l\xc3\xa4uft");
#endif
}

TEST(SplashGeometry, CentredInTheWorkAreaAlsoWhenLarger) {
    struct Case {
        int left, top, right, bottom, width, height, x, y;
    };
    const Case cases[] = {
        {0, 0, 1280, 1024, 400, 300, 440, 362},
        {0, 0, 1280, 994, 401, 301, 439, 346},
        {0, 0, 1280, 1024, 1480, 1124, -100, -50},
        {100, 40, 900, 640, 1000, 700, 0, -10},
    };
    for (const Case& c : cases) {
        const SplashPlace place =
            CenterInWorkArea(c.left, c.top, c.right, c.bottom, c.width, c.height);
        EXPECT_EQ(place.left, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(place.top, c.y) << c.width << "x" << c.height;
    }
}

TEST(SplashGeometry, BarRunsAlongTheBottomEdge) {
    const SplashBarRect bar = ProgressBarRect(400, 300);
    EXPECT_EQ(bar.x, 4);
    EXPECT_EQ(bar.y, 280);
    EXPECT_EQ(bar.width, 392);
    EXPECT_EQ(bar.height, 16);
}

}  // namespace
