// The start-up check on the value GetVersion reports.
#include "app/TiermoApp.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionCheck, RefusesWindowsBeforeWindows95)
{
    EXPECT_FALSE(CTiermoApp::IsSupportedWindowsVersion(0x80000003)); // Windows 3.0
    EXPECT_FALSE(CTiermoApp::IsSupportedWindowsVersion(0x80000A03)); // Windows 3.10
    EXPECT_FALSE(CTiermoApp::IsSupportedWindowsVersion(0xC0005F03)); // 3.95 with a build number
    EXPECT_FALSE(CTiermoApp::IsSupportedWindowsVersion(0x80000000));
}

TEST(VersionCheck, AcceptsWindows95AndLaterAndEveryNTVersion)
{
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x80000004)); // Windows 95
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0xC3B60004)); // Windows 95 with a build
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x80005A04)); // Windows 98/ME
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x00000004)); // NT 4.0
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x05650003)); // NT 3.51: NT passes too
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x0A280005)); // 2000/XP
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x4A61000A)); // 10
    EXPECT_TRUE(CTiermoApp::IsSupportedWindowsVersion(0x00000000)); // NT, major 0
}

} // namespace
