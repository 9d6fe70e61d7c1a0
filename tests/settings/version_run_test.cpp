// The version record end to end: the real Tiermo.exe under Wine, its value
// under HKEY_LOCAL_MACHINE read back with reg.exe, and the About box that the
// main dialog posts for itself when the stored version differs.
#include "Driver.h"
#include "product.h"

#include <gtest/gtest.h>

using driver::RegQueryText;

namespace {

const std::string kKevra = TIERMO_COMPANY_KEY;
const std::string kVersionKey = TIERMO_VERSION_KEY;
const std::string kWow64VersionKey = "Software\\WOW6432Node\\" TIERMO_REGISTRY_COMPANY
                                     "\\" TIERMO_APP_NAME "\\" TIERMO_VERSION_SECTION;
const std::string kRegVersionKey = "HKEY_LOCAL_MACHINE\\" + kVersionKey;
constexpr const char* kVersionEntry = TIERMO_VERSION_ENTRY;
constexpr const char* kMainCaption = TIERMO_APP_NAME;
constexpr const char* kAboutCaption = "About " TIERMO_APP_NAME;
constexpr int kWindowTimeoutMs = 10000;
// How long a run must stay without an About box to count as quiet.
constexpr int kQuietMs = 700;

// Last write time of a key, as the registry keeps it.
ULONGLONG LastWriteTime(const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return 0;
    FILETIME ft = {};
    LONG r = RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, &ft);
    RegCloseKey(h);
    return r == ERROR_SUCCESS ? (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime : 0;
}

class VersionRunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra)); }
    void TearDown() override { driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra); }

    // Starts Tiermo, waits for its main dialog, checks whether the About box
    // opens by itself (and only once), then closes everything.
    static void RunTiermo(bool bExpectAbout)
    {
        driver::Process tiermo;
        ASSERT_TRUE(tiermo.Launch(driver::TiermoExe()))
            << driver::TiermoExe() << ": error " << ::GetLastError();
        HWND hMain = driver::WaitForWindow(kMainCaption, nullptr, tiermo.Pid(), kWindowTimeoutMs);
        ASSERT_NE(nullptr, hMain) << "main dialog did not appear; Tiermo "
                                  << driver::DescribeState(tiermo) << "\n"
                                  << driver::DescribeWindows();
        if (bExpectAbout) {
            HWND hAbout =
                driver::WaitForWindow(kAboutCaption, nullptr, tiermo.Pid(), kWindowTimeoutMs);
            ASSERT_NE(nullptr, hAbout) << "the About box did not open by itself";
            EXPECT_EQ(hMain, driver::RootOwner(hAbout));
            driver::PostClose(hAbout);
            EXPECT_TRUE(driver::WaitForWindowGone(hAbout));
        }
        tiermo.WaitForIdle();
        driver::Pause(kQuietMs);
        EXPECT_EQ(nullptr, driver::FindTopLevel(kAboutCaption, nullptr, tiermo.Pid()))
            << (bExpectAbout ? "the About box opened twice" : "the About box opened");
        driver::PostClose(hMain);
        EXPECT_TRUE(tiermo.WaitForExit(kWindowTimeoutMs));
        tiermo.Terminate();
    }

    static void ExpectStoredVersion()
    {
        EXPECT_EQ("REG_DWORD " + driver::RegDwordText(TIERMO_VERSION),
                  RegQueryText(kRegVersionKey, kVersionEntry))
            << driver::RunReg("query \"" + kRegVersionKey + "\"").text;
        if constexpr (sizeof(void*) == 4) {
            // Where a 64-bit reader of a 64-bit system finds a 32-bit build's value.
            DWORD dwStored = 0;
            EXPECT_TRUE(driver::ReadDword(HKEY_LOCAL_MACHINE, kWow64VersionKey, kVersionEntry,
                                          &dwStored, KEY_WOW64_64KEY));
            EXPECT_EQ(DWORD(TIERMO_VERSION), dwStored);
        }
    }

    // With dwOld stored (0: nothing stored), one run greets and stores the
    // running version; the next is quiet and writes nothing.
    static void ExpectWrittenOnce(DWORD dwOld)
    {
        if (dwOld) {
            ASSERT_TRUE(driver::WriteDword(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry, dwOld));
            driver::Pause(50);
        }
        const ULONGLONG before = LastWriteTime(kVersionKey);
        ASSERT_NO_FATAL_FAILURE(RunTiermo(true));
        ExpectStoredVersion();
        const ULONGLONG written = LastWriteTime(kVersionKey);
        ASSERT_NE(0u, written);
        EXPECT_NE(before, written);
        driver::Pause(50);
        ASSERT_NO_FATAL_FAILURE(RunTiermo(false));
        ExpectStoredVersion();
        EXPECT_EQ(written, LastWriteTime(kVersionKey)) << "the second run wrote";
    }
};

TEST_F(VersionRunTest, FirstRunStoresTheVersionAndGreetsThenTheNextIsQuiet)
{
    ExpectWrittenOnce(0);
}

TEST_F(VersionRunTest, OlderStoredVersionIsOverwrittenOnce) { ExpectWrittenOnce(0x00010005); }

TEST_F(VersionRunTest, NewerStoredVersionIsOverwrittenOnce) { ExpectWrittenOnce(0x00020000); }

} // namespace
