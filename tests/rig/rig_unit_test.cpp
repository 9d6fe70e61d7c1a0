// Unit checks of the test driver's own logic and of the unit-test rig
// (resources compiled in, registry and processes under Wine).
#include "Driver.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT kRigStringId = 101;
constexpr const char* kTestKey = "Software\\Kevra\\TiermoRigUnitTest";

TEST(RigResources, StringFromRcScriptIsLinkedIn)
{
    char text[64] = "";
    ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), kRigStringId, text, sizeof(text)), 0);
    EXPECT_STREQ("rig resource text", text);
}

TEST(DriverCoordinates, EveryPixelMapsBackOntoItself)
{
    for (int size : {640, 1024, 1280, 1920, 3840}) {
        for (int origin : {0, -1920}) {
            for (int offset = 0; offset < size; ++offset) {
                const LONG value = driver::NormalizeCoordinate(origin + offset, origin, size);
                ASSERT_GE(value, 0);
                ASSERT_LT(value, 65536);
                ASSERT_EQ(offset, static_cast<int>(static_cast<long long>(value) * size / 65536))
                    << "size " << size << " offset " << offset;
            }
        }
    }
}

TEST(DriverCoordinates, OutOfRangeIsClampedToTheScreen)
{
    EXPECT_EQ(0, driver::NormalizeCoordinate(-50, 0, 1024));
    EXPECT_EQ(driver::NormalizeCoordinate(1023, 0, 1024),
              driver::NormalizeCoordinate(5000, 0, 1024));
    EXPECT_EQ(0, driver::NormalizeCoordinate(10, 0, 0));
}

TEST(DriverPaths, UnixPathsBecomeDriveZ)
{
    EXPECT_EQ("Z:\\home\\user\\tiermo\\build\\app\\Tiermo.exe",
              driver::FromUnixPath("/home/user/tiermo/build/app/Tiermo.exe"));
    EXPECT_EQ("C:\\windows\\notepad.exe", driver::FromUnixPath("C:\\windows\\notepad.exe"));
    EXPECT_EQ("", driver::FromUnixPath(""));
}

TEST(DriverPixels, DifferencesAreCounted)
{
    const std::vector<COLORREF> a{RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9)};
    std::vector<COLORREF> b = a;
    EXPECT_TRUE(driver::SamePixels(a, b));
    EXPECT_EQ(0u, driver::CountDifferences(a, b));
    b[1] = RGB(0, 0, 0);
    EXPECT_FALSE(driver::SamePixels(a, b));
    EXPECT_EQ(1u, driver::CountDifferences(a, b));
    b.pop_back();
    EXPECT_EQ(2u, driver::CountDifferences(a, b));
    EXPECT_FALSE(driver::SamePixels({}, {}));
}

TEST(DriverPixels, CaptureHasOnePixelPerPointAndRejectsEmptyRects)
{
    EXPECT_EQ(40u * 30u, driver::CaptureRect(RECT{10, 20, 50, 50}).size());
    EXPECT_TRUE(driver::CaptureRect(RECT{10, 10, 10, 20}).empty());
    EXPECT_TRUE(driver::CaptureRect(RECT{10, 10, 5, 20}).empty());
}

class DriverRegistry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kTestKey)); }
    void TearDown() override { driver::DeleteTree(HKEY_CURRENT_USER, kTestKey); }
};

TEST_F(DriverRegistry, ValuesRoundTripWithTheirTypes)
{
    DWORD number = 0;
    std::string text;
    EXPECT_FALSE(driver::ReadDword(HKEY_CURRENT_USER, kTestKey, "Version", &number));
    ASSERT_TRUE(driver::WriteDword(HKEY_CURRENT_USER, kTestKey, "Version", 0x10006));
    ASSERT_TRUE(driver::WriteString(HKEY_CURRENT_USER, kTestKey, "Name", "Tiermo"));
    ASSERT_TRUE(driver::ReadDword(HKEY_CURRENT_USER, kTestKey, "Version", &number));
    EXPECT_EQ(0x10006u, number);
    ASSERT_TRUE(driver::ReadString(HKEY_CURRENT_USER, kTestKey, "Name", &text));
    EXPECT_EQ("Tiermo", text);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD),
              driver::ValueType(HKEY_CURRENT_USER, kTestKey, "Version"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), driver::ValueType(HKEY_CURRENT_USER, kTestKey, "Name"));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), driver::ValueType(HKEY_CURRENT_USER, kTestKey, "None"));
    // A value of the wrong type is not read as a DWORD.
    EXPECT_FALSE(driver::ReadDword(HKEY_CURRENT_USER, kTestKey, "Name", &number));
}

TEST_F(DriverRegistry, DeleteValueAndTree)
{
    const std::string nested = std::string(kTestKey) + "\\A\\B\\C";
    ASSERT_TRUE(driver::WriteDword(HKEY_CURRENT_USER, nested, "X", 1));
    ASSERT_TRUE(driver::WriteDword(HKEY_CURRENT_USER, std::string(kTestKey) + "\\D", "Y", 2));
    ASSERT_TRUE(driver::WriteDword(HKEY_CURRENT_USER, kTestKey, "Z", 3));
    EXPECT_TRUE(driver::DeleteValue(HKEY_CURRENT_USER, kTestKey, "Z"));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), driver::ValueType(HKEY_CURRENT_USER, kTestKey, "Z"));
    EXPECT_TRUE(driver::DeleteValue(HKEY_CURRENT_USER, kTestKey, "Z"));
    EXPECT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kTestKey));
    EXPECT_FALSE(driver::KeyExists(HKEY_CURRENT_USER, kTestKey));
    EXPECT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kTestKey));
    EXPECT_FALSE(driver::DeleteTree(HKEY_CURRENT_USER, ""));
    EXPECT_TRUE(driver::KeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST(DriverProcess, ReportsExitCodeAndFailure)
{
    driver::Process none;
    EXPECT_FALSE(none.Launch("C:\\no\\such\\program.exe"));
    EXPECT_FALSE(none.IsRunning());
    EXPECT_FALSE(none.WaitForExit(100));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), none.ExitCode());

    driver::Process cmd;
    ASSERT_TRUE(cmd.Launch("C:\\windows\\system32\\cmd.exe", "/c exit 5"));
    EXPECT_NE(0u, cmd.Pid());
    ASSERT_TRUE(cmd.WaitForExit(driver::kDefaultTimeoutMs));
    EXPECT_EQ(5u, cmd.ExitCode());
}

TEST(DriverProcess, EndsWhatItStarted)
{
    DWORD pid = 0;
    HANDLE watcher = nullptr;
    {
        driver::Process notepad;
        ASSERT_TRUE(notepad.Launch(driver::NotepadPath()));
        pid = notepad.Pid();
        watcher = OpenProcess(SYNCHRONIZE, FALSE, pid);
        ASSERT_NE(nullptr, watcher);
        EXPECT_TRUE(notepad.IsRunning());
        driver::Process moved = std::move(notepad);
        EXPECT_FALSE(notepad.IsRunning());
        EXPECT_EQ(pid, moved.Pid());
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watcher, 0));
    CloseHandle(watcher);
}

TEST(DriverWaiting, WaitUntilIsBounded)
{
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(driver::WaitUntil([] { return false; }, 200, 20));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 190u);
    EXPECT_LT(elapsed, 2000u);
    int calls = 0;
    EXPECT_TRUE(driver::WaitUntil([&] { return ++calls == 3; }, 5000, 1));
    EXPECT_EQ(3, calls);
}

} // namespace
