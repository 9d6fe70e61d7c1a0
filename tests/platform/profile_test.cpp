// Profile functions: round trips through the real registry, checked with
// Wine's reg.exe, and failure paths through the registry seam.
#include "PlatformTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace ptest;

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
        TestApp().ForgetRegistryKey();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kProfileRoot);
    }
    CWinApp& App() { return TestApp(); }
};

// The data column of a value in reg.exe's listing, or "" when not found.
std::string RegValue(const std::string& key, const std::string& name, std::string* pType = nullptr)
{
    RegResult r = RunReg("query \"" + key + "\" /v " + name);
    if (r.exitCode != 0)
        return "";
    // Lines look like "    <name>    <type>    <data>".
    size_t pos = r.output.find("    " + name + "    ");
    if (pos == std::string::npos)
        return "";
    pos += name.size() + 8;
    size_t typeEnd = r.output.find("    ", pos);
    if (typeEnd == std::string::npos)
        return "";
    if (pType)
        *pType = r.output.substr(pos, typeEnd - pos);
    size_t dataStart = typeEnd + 4;
    size_t lineEnd = r.output.find_first_of("\r\n", dataStart);
    return r.output.substr(dataStart,
                           lineEnd == std::string::npos ? std::string::npos : lineEnd - dataStart);
}

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

    std::string type;
    EXPECT_EQ("Hello world", RegValue(kRegSection, "Name", &type));
    EXPECT_EQ("REG_SZ", type);
    EXPECT_EQ("0x12345678", RegValue(kRegSection, "Count", &type));
    EXPECT_EQ("REG_DWORD", type);
    EXPECT_EQ("0xffffffff", RegValue(kRegSection, "Minus"));
    EXPECT_EQ(longText, RegValue(kRegSection, "Long"));
    EXPECT_EQ(0u, RunReg("query \"" + kRegSection + "\" /v Empty").exitCode);

    EXPECT_STREQ("Hello world", App().GetProfileString(kSection, "Name"));
    EXPECT_EQ(0x12345678u, App().GetProfileInt(kSection, "Count", 5));
    EXPECT_EQ(0xFFFFFFFFu, App().GetProfileInt(kSection, "Minus", 5));
    EXPECT_STREQ("", App().GetProfileString(kSection, "Empty", "default"));
    EXPECT_EQ(longText.size(), size_t(App().GetProfileString(kSection, "Long").GetLength()));

    // Overwritten in place.
    ASSERT_TRUE(App().WriteProfileString(kSection, "Name", "x"));
    EXPECT_EQ("x", RegValue(kRegSection, "Name"));
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
    EXPECT_EQ("2", RegValue(kRegSection, "B"));
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
    EXPECT_EQ("me", RegValue(kRegSection, "Keep"));
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
    TestApp().ForgetRegistryKey();
    EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "value"));
    EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
    EXPECT_EQ(3u, App().GetProfileInt(kSection, "Count", 3));
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    HKEY hKey = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kProfileRoot, 0, KEY_READ, &hKey));
}

// ---------------------------------------------------------------------------
// A registry that counts the handles it gives out and takes back, and fails
// the n-th open or creation, or every query or write, when told.

struct FakeRegistry {
    int nFailAt = 0; // 1-based open/create call to fail; 0: none
    int nCalls = 0;
    int nOpened = 0;
    int nClosed = 0;
    bool bFailQuery = false;
    bool bFailSet = false;
    // Replaces the data of string queries with unterminated 'u' bytes.
    bool bUnterminated = false;
    // Makes the second query of a value report that it grew.
    bool bGrows = false;
    // Makes a size query report a size that does not fit in an int.
    bool bHugeSize = false;
    int nQueries = 0;
};
FakeRegistry g_fake;

LONG CountOpen(LONG r)
{
    if (r == ERROR_SUCCESS)
        ++g_fake.nOpened;
    return r;
}

LONG WINAPI FakeOpen(HKEY h, LPCSTR sub, DWORD opt, REGSAM sam, PHKEY out)
{
    if (++g_fake.nCalls == g_fake.nFailAt)
        return ERROR_ACCESS_DENIED;
    return CountOpen(RealRegistry().OpenKeyEx(h, sub, opt, sam, out));
}

LONG WINAPI FakeCreate(HKEY h, LPCSTR sub, DWORD res, LPSTR cls, DWORD opt, REGSAM sam,
                       LPSECURITY_ATTRIBUTES sa, PHKEY out, LPDWORD disp)
{
    if (++g_fake.nCalls == g_fake.nFailAt)
        return ERROR_ACCESS_DENIED;
    return CountOpen(RealRegistry().CreateKeyEx(h, sub, res, cls, opt, sam, sa, out, disp));
}

LONG WINAPI FakeQuery(HKEY h, LPCSTR name, LPDWORD res, LPDWORD type, LPBYTE data, LPDWORD size)
{
    ++g_fake.nQueries;
    if (g_fake.bFailQuery)
        return ERROR_ACCESS_DENIED;
    if (g_fake.bGrows && g_fake.nQueries == 2) {
        if (size)
            *size += 10;
        return ERROR_MORE_DATA;
    }
    LONG r = RealRegistry().QueryValueEx(h, name, res, type, data, size);
    if (r == ERROR_SUCCESS && g_fake.bHugeSize && !data && size)
        *size = 0x80000000u;
    if (r == ERROR_SUCCESS && g_fake.bUnterminated && data && size && type && *type == REG_SZ)
        std::memset(data, 'u', *size);
    return r;
}

LONG WINAPI FakeSet(HKEY h, LPCSTR name, DWORD res, DWORD type, const BYTE* data, DWORD size)
{
    if (g_fake.bFailSet)
        return ERROR_ACCESS_DENIED;
    return RealRegistry().SetValueEx(h, name, res, type, data, size);
}

LONG WINAPI FakeClose(HKEY h)
{
    ++g_fake.nClosed;
    return RealRegistry().CloseKey(h);
}

const RegistryApi kFakeRegistry = {
    FakeOpen,  FakeCreate, FakeQuery, FakeSet, RealRegistry().DeleteValue, RealRegistry().DeleteKey,
    FakeClose,
};

class ProfileFailureTest : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        ASSERT_TRUE(App().WriteProfileString(kSection, "Name", "stored"));
        ASSERT_TRUE(App().WriteProfileInt(kSection, "Count", 12));
        g_fake = FakeRegistry();
    }
    // Resets the counters between calls, keeping the failure settings.
    void ResetCounts() { g_fake.nCalls = g_fake.nOpened = g_fake.nClosed = g_fake.nQueries = 0; }
};

TEST_F(ProfileFailureTest, EveryFailingOpenGivesTheDefaultAndLeaksNoHandle)
{
    ScopedRegistryApi fake(kFakeRegistry);
    // Four keys deep: Software, the registry key, the profile, the section.
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE("failing open/create number " + std::to_string(n));
        g_fake.nFailAt = n;
        ResetCounts();
        EXPECT_EQ(5u, App().GetProfileInt(kSection, "Count", 5));
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
        ResetCounts();
        EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
        ResetCounts();
        EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
        ResetCounts();
        EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "new"));
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
        ResetCounts();
        EXPECT_FALSE(App().WriteProfileString(kSection, "Name", nullptr));
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
        ResetCounts();
        if (n < 4) { // deleting a section does not open the section
            EXPECT_FALSE(App().WriteProfileString(kSection, nullptr, nullptr));
        }
        EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
    }
    // Nothing was changed by the failed writes.
    g_fake.nFailAt = 0;
    EXPECT_STREQ("stored", App().GetProfileString(kSection, "Name"));
    EXPECT_EQ(12u, App().GetProfileInt(kSection, "Count", 5));
}

TEST_F(ProfileFailureTest, FailingQueriesAndWritesLeakNoHandle)
{
    ScopedRegistryApi fake(kFakeRegistry);
    g_fake.bFailQuery = true;
    EXPECT_EQ(5u, App().GetProfileInt(kSection, "Count", 5));
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
    EXPECT_GT(g_fake.nOpened, 0);

    g_fake.bFailQuery = false;
    g_fake.bFailSet = true;
    ResetCounts();
    EXPECT_FALSE(App().WriteProfileInt(kSection, "Count", 1));
    EXPECT_FALSE(App().WriteProfileString(kSection, "Name", "new"));
    EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);

    // A value that grows between sizing and reading gives the default.
    g_fake.bFailSet = false;
    g_fake.bGrows = true;
    ResetCounts();
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
    EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);

    // Successful calls balance too.
    g_fake.bGrows = false;
    ResetCounts();
    EXPECT_STREQ("stored", App().GetProfileString(kSection, "Name"));
    EXPECT_TRUE(App().WriteProfileInt(kSection, "Count", 13));
    EXPECT_TRUE(App().WriteProfileString(kSection, "Gone", nullptr) == FALSE);
    EXPECT_EQ(g_fake.nOpened, g_fake.nClosed);
}

TEST_F(ProfileFailureTest, UnterminatedDataNeverOverrunsTheBuffer)
{
    ScopedRegistryApi fake(kFakeRegistry);
    g_fake.bUnterminated = true;
    CString s = App().GetProfileString(kSection, "Name");
    // "stored" plus its terminator: seven bytes, all overwritten.
    EXPECT_EQ(7, s.GetLength());
    EXPECT_STREQ("uuuuuuu", s);

    // A size no buffer can be made for gives the default.
    g_fake.bUnterminated = false;
    g_fake.bHugeSize = true;
    EXPECT_STREQ("default", App().GetProfileString(kSection, "Name", "default"));
}

} // namespace
