// The text and geometry rules that both platforms' shells share.
#include <gtest/gtest.h>

#include "app/splash.h"
#include "app/tray.h"

namespace {

TEST(TrayTexts, LongNamesAreCutToWhatTheTrayHolds) {
    const std::string name(300, 'n');
    const TrayTexts texts = MakeTrayTexts(name);
    EXPECT_EQ(texts.tooltip, std::string(127, 'n'));
    EXPECT_EQ(texts.balloonTitle, std::string(63, 'n'));
    EXPECT_EQ(texts.balloonText, std::string(255, 'n'));
    EXPECT_EQ(texts.closeItem, "Close " + name);
}

// The menu's first item in the system's encoding: Windows-1252, or UTF-8 on Linux.
TEST(TrayTexts, RunningItemIsTheSameOnBothPlatforms) {
#ifdef _WIN32
    EXPECT_EQ(MakeTrayTexts("x").runningItem, "Anwendung l\xe4uft");
#else
    EXPECT_EQ(MakeTrayTexts("x").runningItem, "Anwendung l\xc3\xa4uft");
#endif
}

TEST(SplashGeometry, CentredInTheWorkAreaAlsoWhenLarger) {
    const struct {
        int left, top, right, bottom, width, height, x, y;
    } cases[] = {
        {0, 0, 1280, 1024, 400, 300, 440, 362},
        {0, 0, 1280, 994, 401, 301, 439, 346},
        {0, 0, 1280, 1024, 1480, 1124, -100, -50},
        {100, 40, 900, 640, 1000, 700, 0, -10},
    };
    for (const auto& c : cases) {
        const SplashPlace place =
            CenterInWorkArea(c.left, c.top, c.right, c.bottom, c.width, c.height);
        EXPECT_EQ(place.left, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(place.top, c.y) << c.width << "x" << c.height;
    }
}

}  // namespace
