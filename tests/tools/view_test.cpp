#include "view.h"

#include <gtest/gtest.h>

namespace {

TEST(ConsoleView, AddressesAreSplitOrRefused) {
    PageAddress a;
    ASSERT_TRUE(ParsePageAddress("http://127.0.0.1:7452/index.php?a=1&b=2", a));
    EXPECT_EQ(a.host, "127.0.0.1");
    EXPECT_EQ(a.port, 7452);
    EXPECT_EQ(a.path, "/index.php?a=1&b=2");
    ASSERT_TRUE(ParsePageAddress("http://myhost", a));
    EXPECT_EQ(a.port, 80);
    EXPECT_EQ(a.path, "/");
    EXPECT_FALSE(ParsePageAddress("https://myhost/", a));
    EXPECT_FALSE(ParsePageAddress("http://myhost:80x/", a));
    EXPECT_FALSE(ParsePageAddress("http://myhost:99999/", a));
    EXPECT_FALSE(ParsePageAddress("http://:80/", a));
}

TEST(ConsoleView, PageTextKeepsTheWordsOnePerBlock) {
    const std::string html =
        "<html><head><title>Demo</title></head><body>\r\n<h1>Trailhost  demo</h1>\n"
        "<p>Visits: <span>3</span></p><ul><li>Ada &amp; Bo: &lt;cooks&gt;</li></ul></body>";
    EXPECT_EQ(PageText(html), "Demo\nTrailhost demo\nVisits:\n3\nAda & Bo: <cooks>\n");
}

TEST(ConsoleView, BodyFollowsTheFirstEmptyLine) {
    EXPECT_EQ(AnswerBody("HTTP/1.1 200 OK\r\nX: y\r\n\r\n<p>a</p>\r\n\r\nb"), "<p>a</p>\r\n\r\nb");
    EXPECT_EQ(AnswerBody("HTTP/1.0 200 OK\n\nbody"), "body");
    EXPECT_EQ(AnswerBody("no head"), "no head");
}

}  // namespace
