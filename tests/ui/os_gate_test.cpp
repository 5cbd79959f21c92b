// The version decision of the OS gate, and that the gate passes on the test prefix's Windows 10.
#include "app/os_gate.h"

#include <gtest/gtest.h>

namespace {

TEST(OsGate, Windows10Build19041IsTheOldestSupported) {
    EXPECT_TRUE(IsSupportedWindows(10, 19041));
    EXPECT_TRUE(IsSupportedWindows(10, 19045));
    EXPECT_TRUE(IsSupportedWindows(10, 22631)); // Windows 11 still reports major version 10
    EXPECT_FALSE(IsSupportedWindows(10, 19040));
    EXPECT_FALSE(IsSupportedWindows(10, 18362));
    EXPECT_FALSE(IsSupportedWindows(10, 0));
}

TEST(OsGate, OtherMajorVersionsDecideAlone) {
    EXPECT_TRUE(IsSupportedWindows(11, 0));
    EXPECT_TRUE(IsSupportedWindows(12, 100));
    EXPECT_FALSE(IsSupportedWindows(6, 99999)); // Windows 7/8 with any build
    EXPECT_FALSE(IsSupportedWindows(0, 0xFFFFFFFF));
    EXPECT_TRUE(IsSupportedWindows(0xFFFFFFFF, 0)); // compared unsigned
}

TEST(OsGate, TheTestPrefixPasses) { EXPECT_TRUE(PassesOsGate()); }

} // namespace
