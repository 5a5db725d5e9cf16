#include "stack/web_server.h"

#include <gtest/gtest.h>

namespace {

TEST(StartUrl, PortEightyHasNoPortPart) {
    EXPECT_EQ(BuildStartUrl("localhost", 80, "index.php", ""), "http://localhost/index.php");
}

TEST(StartUrl, OtherPortsAndParameters) {
    EXPECT_EQ(BuildStartUrl("localhost", 4001, "index.php", "a=1"),
              "http://localhost:4001/index.php?a=1");
    EXPECT_EQ(BuildStartUrl("10.0.0.7", 7452, "index.php?lang=de", "x=1"),
              "http://10.0.0.7:7452/index.php?lang=de&x=1");
    EXPECT_EQ(BuildStartUrl("myhost", 0, "", ""), "http://myhost:0/");
}

}  // namespace
