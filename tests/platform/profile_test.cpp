// Profile functions: round trips through the real registry, checked with
// Wine's reg.exe, and failure paths through the registry seam.
#include "Driver.h"
#include "PlatformTest.h"
#include "RegistrySeam.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace ptest;
using driver::RegQueryText;
using driver::RunReg;
using test_support::CountingRegistry;

constexpr const char* kSection = "Options";
const std::string kRegSection = std::string("HKCU\\") + kProfileKey + "\\" + kSection;

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kProfileRoot);
        TestApp().SetRegistryKey(kRegistryKey);
    }
    void TearDown() override
    {
        test_support::ForgetRegistryKey();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kProfileRoot);
    }
    CWinApp& App() { return TestApp(); }
};

TEST_F(ProfileTest, ApplicationNameBecomesTheProfileName)
{
    EXPECT_STREQ(kRegistryKey, App().m_pszRegistryKey);
    EXPECT_STREQ(kAppName, App().m_pszProfileName);
}

TEST_F(ProfileTest, WrittenValuesAreSeenByRegExe)
{
    ASSERT_TRUE(App().WriteProfileString(kSection, "Name", "Hello world"));
    ASSERT_TRUE(App().WriteProfileInt(kSection, "Count", 0x12345678));
    ASSERT_TRUE(App().WriteProfileInt(kSection, "Minus", -1));
    ASSERT_TRUE(App().WriteProfileString(kSection, "Empty", ""));
    const std::string longText(10000, 'q');
    ASSERT_TRUE(App().WriteProfileString(kSection, "Long", longText.c_str()));

    EXPECT_EQ("REG_SZ Hello world", RegQueryText(kRegSection, "Name"));
    EXPECT_EQ("REG_DWORD 0x12345678", RegQueryText(kRegSection, "Count"));
    EXPECT_EQ("REG_DWORD 0xffffffff", RegQueryText(kRegSection, "Minus"));
    EXPECT_EQ("REG_SZ " + longText, RegQueryText(kRegSection, "Long"));
    EXPECT_EQ(0u, RunReg("query \"" + kRegSection + "\" /v Empty").exitCode);

    EXPECT_STREQ("Hello world", App().GetProfileString(kSection, "Name"));
    EXPECT_EQ(0x12345678u, App().GetProfileInt(kSection, "Count", 5));
    EXPECT_EQ(0xFFFFFFFFu, App().GetProfileInt(kSection, "Minus", 5));
    EXPECT_STREQ("", App().GetProfileString(kSection, "Empty", "default"));
    EXPECT_EQ(longText.size(), size_t(App().GetProfileString(kSection, "Long").GetLength()));

    // Overwritten in place.
    ASSERT_TRUE(App().WriteProfileString(kSection, "Name", "x"));
    EXPECT_EQ("REG_SZ x", RegQueryText(kRegSection, "Name"));
    EXPECT_STREQ("x", App().GetProfileString(kSection, "Name"));
}

TEST_F(ProfileTest, ValuesWrittenByRegExeAreRead)
{
    ASSERT_EQ(
        0u,
        RunReg("add \"" + kRegSection + "\" /v Greeting /t REG_SZ /d \"from reg\" /f").exitCode);
    ASSERT_EQ(0u, RunReg("add \"" + kRegSection + "\" /v Number /t REG_DWORD /d 77 /f").exitCode);
    EXPECT_STREQ("from reg", App().GetProfileString(kSection, "Greeting", "default"));
    EXPECT_EQ(77u, App().GetProfileInt(kSection, "Number", 5));

    // The wrong type gives the default.
    EXPECT_EQ(5u, App().GetProfileInt(kSection, "Greeting", 5));
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Number", "default"));
    // Missing values and sections give the default.
    EXPECT_EQ(9u, App().GetProfileInt(kSection, "Missing", 9));
    EXPECT_STREQ("default", App().GetProfileString("Nowhere", "Missing", "default"));
    EXPECT_STREQ("", App().GetProfileString("Nowhere", "Missing"));
}

TEST_F(ProfileTest, ValueAndSectionDeletion)
{
    ASSERT_TRUE(App().WriteProfileString(kSection, "A", "1"));
    ASSERT_TRUE(App().WriteProfileString(kSection, "B", "2"));
    ASSERT_TRUE(App().WriteProfileString(kSection, "A", nullptr));
    EXPECT_NE(0u, RunReg("query \"" + kRegSection + "\" /v A").exitCode);
    EXPECT_EQ("REG_SZ 2", RegQueryText(kRegSection, "B"));
    EXPECT_FALSE(App().WriteProfileString(kSection, "A", nullptr)); // already gone

    ASSERT_TRUE(App().WriteProfileString(kSection, nullptr, nullptr));
    EXPECT_NE(0u, RunReg("query \"" + kRegSection + "\"").exitCode);
    EXPECT_EQ(0u, RunReg(std::string("query \"HKCU\\") + kProfileKey + "\"").exitCode);
}

// An empty section name must not reach the application key itself: deleting
// "the section" would otherwise delete every section at once.
TEST_F(ProfileTest, EmptySectionNeverTouchesTheApplicationKey)
{
    ASSERT_TRUE(App().WriteProfileString(kSection, "Keep", "me"));
    EXPECT_FALSE(App().WriteProfileString("", nullptr, nullptr));
    EXPECT_FALSE(App().WriteProfileString("", "Stray", "value"));
    EXPECT_FALSE(App().WriteProfileInt("", "Stray", 1));
    EXPECT_EQ(9u, App().GetProfileInt("", "Stray", 9));
    EXPECT_EQ("REG_SZ me", RegQueryText(kRegSection, "Keep"));
    EXPECT_NE(0u, RunReg(std::string("query \"HKCU\\") + kProfileKey + "\" /v Stray").exitCode);
}

TEST_F(ProfileTest, UnterminatedStringDataIsReadWithinItsSize)
{
    ASSERT_TRUE(App().WriteProfileString(kSection, "Raw", "placeholder"));
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER,
                                             (std::string(kProfileKey) + "\\" + kSection).c_str(),
                                             0, KEY_SET_VALUE, &hKey));
    ::RegSetValueExA(hKey, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    ::RegSetValueExA(hKey, "Zero", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
    ::RegCloseKey(hKey);
    CString s = App().GetProfileString(kSection, "Raw");
    EXPECT_STREQ("abc", s);
    EXPECT_EQ(3, s.GetLength());
    EXPECT_STREQ("", App().GetProfileString(kSection, "Zero", "default"));
}

TEST_F(ProfileTest, WithoutARegistryKeyNothingIsStored)
{
    test_support::ForgetRegistryKey();
    EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "value"));
    EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
    EXPECT_EQ(3u, App().GetProfileInt(kSection, "Count", 3));
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    HKEY hKey = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kProfileRoot, 0, KEY_READ, &hKey));
}

// ---------------------------------------------------------------------------
// Failures through the registry seam: the n-th open or creation, every query
// or write, a value that grows between sizing and reading, unterminated data.

class ProfileFailureTest : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        ASSERT_TRUE(App().WriteProfileString(kSection, "Name", "stored"));
        ASSERT_TRUE(App().WriteProfileInt(kSection, "Count", 12));
    }
};

TEST_F(ProfileFailureTest, EveryFailingOpenGivesTheDefaultAndLeaksNoHandle)
{
    CountingRegistry reg;
    // Four keys deep: Software, the registry key, the profile, the section.
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE("failing open/create number " + std::to_string(n));
        const auto failNth = [&] {
            reg.Clear();
            reg.FailKeyCall(n);
        };
        failNth();
        EXPECT_EQ(5u, App().GetProfileInt(kSection, "Count", 5));
        failNth();
        EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
        failNth();
        EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
        failNth();
        EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "new"));
        failNth();
        EXPECT_FALSE(App().WriteProfileString(kSection, "Name", nullptr));
        failNth();
        if (n < 4) { // deleting a section does not open the section
            EXPECT_FALSE(App().WriteProfileString(kSection, nullptr, nullptr));
        }
        EXPECT_EQ(0u, reg.OpenHandles());
    }
    // Nothing was changed by the failed writes.
    reg.Clear();
    EXPECT_STREQ("stored", App().GetProfileString(kSection, "Name"));
    EXPECT_EQ(12u, App().GetProfileInt(kSection, "Count", 5));
}

TEST_F(ProfileFailureTest, FailingQueriesAndWritesLeakNoHandle)
{
    CountingRegistry reg;
    reg.FailQuery();
    EXPECT_EQ(5u, App().GetProfileInt(kSection, "Count", 5));
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    EXPECT_GT(reg.Closes(), 0);

    reg.Clear();
    reg.FailSet();
    EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
    EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "new"));
    EXPECT_EQ(0u, reg.OpenHandles());

    // A value that grows between sizing and reading gives the default.
    reg.Clear();
    int nQueries = 0;
    reg.FakeQuery([&](HKEY h, LPCSTR name, LPDWORD res, LPDWORD type, LPBYTE data, LPDWORD size) {
        if (++nQueries == 2) {
            if (size)
                *size += 10;
            return LONG(ERROR_MORE_DATA);
        }
        return RealRegistry().QueryValueEx(h, name, res, type, data, size);
    });
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    EXPECT_EQ(0u, reg.OpenHandles());

    // Successful calls balance too.
    reg.Clear();
    EXPECT_STREQ("stored", App().GetProfileString(kSection, "Name"));
    EXPECT_TRUE(App().WriteProfileInt(kSection, "Count", 13));
    EXPECT_TRUE(App().WriteProfileString(kSection, "Gone", nullptr) == FALSE);
    EXPECT_EQ(0u, reg.OpenHandles());
    EXPECT_EQ(0, reg.StrayCloses());
}

TEST_F(ProfileFailureTest, UnterminatedDataNeverOverrunsTheBuffer)
{
    CountingRegistry reg;
    reg.FakeQuery([](HKEY h, LPCSTR name, LPDWORD res, LPDWORD type, LPBYTE data, LPDWORD size) {
        const LONG r = RealRegistry().QueryValueEx(h, name, res, type, data, size);
        if (r == ERROR_SUCCESS && data && size && type && *type == REG_SZ)
            std::memset(data, 'u', *size);
        return r;
    });
    CString s = App().GetProfileString(kSection, "Name");
    // "stored" plus its terminator: seven bytes, all overwritten.
    EXPECT_EQ(7, s.GetLength());
    EXPECT_STREQ("uuuuuuu", s);

    // A size no buffer can be made for gives the default.
    reg.FakeQuery([](HKEY h, LPCSTR name, LPDWORD res, LPDWORD type, LPBYTE data, LPDWORD size) {
        const LONG r = RealRegistry().QueryValueEx(h, name, res, type, data, size);
        if (r == ERROR_SUCCESS && !data && size)
            *size = 0x80000000u;
        return r;
    });
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
}

} // namespace
