// CRegistryKey against the real registry under Wine, in keys the tests own,
// checked with reg.exe; failure paths and handle counts through the seam.
#include "settings/RegistryKey.h"

#include "Driver.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace settings_test;

namespace {

constexpr const char* kCompany = "TiermoTest";
constexpr const char* kApp = "KeyTest";
constexpr const char* kSection = "Section";
const std::string kTestRoot = "Software\\TiermoTest";
const std::string kAppPath = "Software\\TiermoTest\\KeyTest";
const std::string kSectionPath = kAppPath + "\\Section";
const std::string kRegSectionPath = "HKCU\\" + kSectionPath;

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp().SetRegistryKey("Kevra");
        ASSERT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kTestRoot));
    }
    void TearDown() override { driver::DeleteTree(HKEY_CURRENT_USER, kTestRoot); }

    CRegistryKey m_key{HKEY_CURRENT_USER, nullptr, kCompany, kApp};
};

// ---------------------------------------------------------------- fields

TEST_F(RegistryKeyTest, NullPartsTakeDefaultsCapturedAtConstructionOrReset)
{
    ForgetRegistryKey();
    CRegistryKey key(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, key.m_hRoot);
    EXPECT_EQ(CString("Software"), key.m_strSoftware);
    EXPECT_TRUE(key.m_strCompany.IsEmpty());
    EXPECT_TRUE(key.m_strApp.IsEmpty());
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());

    // Not picked up later...
    TestApp().SetRegistryKey("Kevra");
    EXPECT_TRUE(key.m_strCompany.IsEmpty());
    EXPECT_TRUE(key.m_strApp.IsEmpty());

    // ...only by a reset.
    key.Reset(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(CString("Kevra"), key.m_strCompany);
    EXPECT_EQ(CString("Tiermo"), key.m_strApp);

    // Given parts are kept; a reset replaces all five fields.
    key.Reset(HKEY_CURRENT_USER, "Soft", "Co", "App", "Sub");
    EXPECT_EQ(HKEY_CURRENT_USER, key.m_hRoot);
    EXPECT_EQ(CString("Soft"), key.m_strSoftware);
    EXPECT_EQ(CString("Co"), key.m_strCompany);
    EXPECT_EQ(CString("App"), key.m_strApp);
    EXPECT_EQ(CString("Sub"), key.m_strSubKey);
    key.Reset(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(CString("Software"), key.m_strSoftware);
    EXPECT_EQ(CString("Kevra"), key.m_strCompany);
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());
}

TEST_F(RegistryKeyTest, RootZeroLeavesEveryPartEmpty)
{
    CRegistryKey key(nullptr, "Software", "Co", "App", "Sub");
    EXPECT_EQ(nullptr, key.m_hRoot);
    EXPECT_TRUE(key.m_strSoftware.IsEmpty());
    EXPECT_TRUE(key.m_strCompany.IsEmpty());
    EXPECT_TRUE(key.m_strApp.IsEmpty());
    EXPECT_TRUE(key.m_strSubKey.IsEmpty());

    m_key.Reset(nullptr, "Software", "Co");
    EXPECT_EQ(nullptr, m_key.m_hRoot);
    EXPECT_TRUE(m_key.m_strSoftware.IsEmpty());
    EXPECT_TRUE(m_key.m_strCompany.IsEmpty());
}

// ---------------------------------------------------------------- values

TEST_F(RegistryKeyTest, IntegersAreStoredAsFourByteDwords)
{
    ASSERT_TRUE(m_key.WriteInt(kSection, "Number", 0x12345678));
    EXPECT_EQ("REG_DWORD 0x12345678", RegQueryText(kRegSectionPath, "Number"));
    EXPECT_EQ(4, ValueSize(HKEY_CURRENT_USER, kSectionPath, "Number"));
    EXPECT_EQ(0x12345678, m_key.GetInt(kSection, "Number", 7));

    ASSERT_TRUE(m_key.WriteInt(kSection, "Number", -2));
    EXPECT_EQ(-2, m_key.GetInt(kSection, "Number", 7));
    EXPECT_EQ("REG_DWORD 0xfffffffe", RegQueryText(kRegSectionPath, "Number"));
}

TEST_F(RegistryKeyTest, StringsAreStoredWithOneTerminatingZero)
{
    ASSERT_TRUE(m_key.WriteString(kSection, "Text", "Hello world"));
    EXPECT_EQ("REG_SZ Hello world", RegQueryText(kRegSectionPath, "Text"));
    EXPECT_EQ(12, ValueSize(HKEY_CURRENT_USER, kSectionPath, "Text"));
    EXPECT_EQ(CString("Hello world"), m_key.GetString(kSection, "Text", "default"));

    // The empty string is a value of its own, not a missing one.
    ASSERT_TRUE(m_key.WriteString(kSection, "Empty", ""));
    EXPECT_EQ("REG_SZ ", RegQueryText(kRegSectionPath, "Empty"));
    EXPECT_EQ(1, ValueSize(HKEY_CURRENT_USER, kSectionPath, "Empty"));
    EXPECT_EQ(CString(""), m_key.GetString(kSection, "Empty", "default"));
}

TEST_F(RegistryKeyTest, ReadingAMissingEntryCreatesTheKeysAndGivesTheDefault)
{
    EXPECT_FALSE(RegKeyExists("HKCU\\" + kTestRoot));
    EXPECT_EQ(41, m_key.GetInt(kSection, "Missing", 41));
    EXPECT_TRUE(RegKeyExists(kRegSectionPath));
    EXPECT_EQ(CString("fallback"), m_key.GetString("Other", "Missing", "fallback"));
    EXPECT_TRUE(RegKeyExists("HKCU\\" + kAppPath + "\\Other"));
    EXPECT_EQ(CString(""), m_key.GetString("Other", "Missing", nullptr));
}

TEST_F(RegistryKeyTest, GetIntTakesUpToFourBytesOfAnyType)
{
    const BYTE two[] = {0x34, 0x12};
    const BYTE eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Two", REG_BINARY, two, 2));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "None", REG_BINARY, two, 0));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Eight", REG_BINARY, eight, 8));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Sz3", REG_SZ, "abc", 4));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Sz4", REG_SZ, "abcd", 5));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Qword", REG_QWORD, eight, 8));

    // Shorter data gives the low bytes and zeros above, whatever the default.
    EXPECT_EQ(0x1234, m_key.GetInt(kSection, "Two", 0x7FFFFFFF));
    EXPECT_EQ(0, m_key.GetInt(kSection, "None", 0x7FFFFFFF));
    EXPECT_EQ(0x00636261, m_key.GetInt(kSection, "Sz3", 5));
    // Longer data gives the default.
    EXPECT_EQ(5, m_key.GetInt(kSection, "Eight", 5));
    EXPECT_EQ(5, m_key.GetInt(kSection, "Sz4", 5));
    EXPECT_EQ(5, m_key.GetInt(kSection, "Qword", 5));
}

TEST_F(RegistryKeyTest, GetStringStopsAtTheFirstZeroOfAnyType)
{
    const DWORD abc = 0x00636261, abcd = 0x64636261;
    const char multi[] = "one\0two\0";
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Dword", REG_DWORD, &abc, 4));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Full", REG_DWORD, &abcd, 4));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Raw", REG_BINARY, "xyz", 3));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Split", REG_BINARY, "a\0b", 3));
    ASSERT_TRUE(
        WriteValue(HKEY_CURRENT_USER, kSectionPath, "Multi", REG_MULTI_SZ, multi, sizeof multi));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "Nothing", REG_BINARY, "", 0));

    EXPECT_EQ(CString("abc"), m_key.GetString(kSection, "Dword", "d"));
    // Four data bytes without a zero among them: all four, terminated.
    EXPECT_EQ(CString("abcd"), m_key.GetString(kSection, "Full", "d"));
    EXPECT_EQ(CString("xyz"), m_key.GetString(kSection, "Raw", "d"));
    EXPECT_EQ(CString("a"), m_key.GetString(kSection, "Split", "d"));
    EXPECT_EQ(CString("one"), m_key.GetString(kSection, "Multi", "d"));
    EXPECT_EQ(CString(""), m_key.GetString(kSection, "Nothing", "d"));
}

TEST_F(RegistryKeyTest, NullEntryDeletesTheSectionNullValueOnlyTheEntry)
{
    ASSERT_TRUE(m_key.WriteString(kSection, "Keep", "k"));
    ASSERT_TRUE(m_key.WriteString(kSection, "Drop", "d"));
    ASSERT_TRUE(m_key.WriteInt("Other", "Stay", 1));

    EXPECT_TRUE(m_key.WriteString(kSection, "Drop", nullptr));
    EXPECT_EQ("", RegQueryText(kRegSectionPath, "Drop"));
    EXPECT_EQ("REG_SZ k", RegQueryText(kRegSectionPath, "Keep"));
    EXPECT_FALSE(m_key.WriteString(kSection, "Drop", nullptr)) << "already gone";

    EXPECT_TRUE(m_key.WriteString(kSection, nullptr, nullptr));
    EXPECT_FALSE(RegKeyExists(kRegSectionPath));
    EXPECT_EQ("REG_DWORD 0x1", RegQueryText("HKCU\\" + kAppPath + "\\Other", "Stay"));
    EXPECT_FALSE(m_key.WriteString(kSection, nullptr, "ignored")) << "already gone";
}

struct Operation {
    const char* name;
    std::function<bool(const CRegistryKey&)> failedAsExpected;
};

// Every value operation, each judged by its failure result.
std::vector<Operation> AllOperations()
{
    return {
        {"GetInt", [](const CRegistryKey& k) { return k.GetInt(kSection, "N", -5) == -5; }},
        {"WriteInt", [](const CRegistryKey& k) { return !k.WriteInt(kSection, "N", 1); }},
        {"GetString", [](const CRegistryKey& k) { return k.GetString(kSection, "S", "d") == "d"; }},
        {"WriteString", [](const CRegistryKey& k) { return !k.WriteString(kSection, "S", "v"); }},
        {"DeleteEntry",
         [](const CRegistryKey& k) { return !k.WriteString(kSection, "S", nullptr); }},
        {"DeleteSection",
         [](const CRegistryKey& k) { return !k.WriteString(kSection, nullptr, nullptr); }},
    };
}

// ---------------------------------------------------------------- path

TEST_F(RegistryKeyTest, EachPartIsOneRegistryName)
{
    CRegistryKey key(HKEY_CURRENT_USER, nullptr, kCompany, "Deep\\Er", "Sub");
    CountingRegistry reg;
    ASSERT_TRUE(key.WriteInt(kSection, "N", 3));

    const std::vector<KeyCall>& calls = reg.KeyCalls();
    ASSERT_EQ(5u, calls.size());
    const char* names[] = {"Software", kCompany, "Deep\\Er", "Sub", kSection};
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(i == 0 ? KeyCall::kOpen : KeyCall::kCreate, calls[i].kind);
        EXPECT_EQ(names[i], calls[i].name);
    }
    EXPECT_EQ(HKEY_CURRENT_USER, calls[0].hParent);
    EXPECT_EQ(0u, reg.OpenHandles());

    // The registry itself reads the backslash as a separator.
    EXPECT_EQ("REG_DWORD 0x3",
              RegQueryText("HKCU\\Software\\TiermoTest\\Deep\\Er\\Sub\\Section", "N"));
}

TEST_F(RegistryKeyTest, AMissingFirstLevelIsNeverCreated)
{
    // A root of our own that has no "Software" below it.
    const std::string rootPath = kTestRoot + "\\BareRoot";
    HKEY hBare = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &hBare, nullptr));
    HKEY hUsersSoftware = nullptr;
    const bool bUsersHasSoftware =
        RegOpenKeyExA(HKEY_USERS, "Software", 0, KEY_READ, &hUsersSoftware) == ERROR_SUCCESS;
    if (bUsersHasSoftware)
        RegCloseKey(hUsersSoftware);

    for (HKEY hRoot : {hBare, HKEY_USERS}) {
        if (hRoot == HKEY_USERS && bUsersHasSoftware)
            continue;
        SCOPED_TRACE(hRoot == HKEY_USERS ? "HKEY_USERS" : "bare root");
        CRegistryKey key(hRoot, nullptr, kCompany, kApp);
        CountingRegistry reg;
        for (const Operation& op : AllOperations())
            EXPECT_TRUE(op.failedAsExpected(key)) << op.name;
        EXPECT_EQ(nullptr, key.OpenAppKey());
        for (const KeyCall& call : reg.KeyCalls())
            EXPECT_EQ(KeyCall::kOpen, call.kind) << call.name;
        EXPECT_EQ(0u, reg.OpenHandles());
        EXPECT_EQ(0, reg.StrayCloses()) << "a root is never closed";
    }
    RegCloseKey(hBare);
    EXPECT_TRUE(RegKeyExists("HKCU\\" + rootPath));
    EXPECT_FALSE(RegKeyExists("HKCU\\" + rootPath + "\\Software"));
}

// ---------------------------------------------------------------- failures

TEST_F(RegistryKeyTest, RootZeroReadsDefaultsWritesFalseWithoutTouchingTheRegistry)
{
    CRegistryKey key(nullptr);
    CountingRegistry reg;
    EXPECT_EQ(nullptr, key.OpenAppKey());
    for (const Operation& op : AllOperations())
        EXPECT_TRUE(op.failedAsExpected(key)) << op.name;
    EXPECT_EQ(0, reg.TotalCalls());
}

TEST_F(RegistryKeyTest, EmptyLevelsAndSectionsNeverReachAnotherKey)
{
    // Before SetRegistryKey the company and application levels are empty: the
    // sections would otherwise land directly below Software.
    ForgetRegistryKey();
    CRegistryKey unnamed(HKEY_CURRENT_USER);
    TestApp().SetRegistryKey("Kevra");
    ASSERT_TRUE(m_key.WriteInt(kSection, "N", 1));
    {
        CountingRegistry reg;
        EXPECT_EQ(nullptr, unnamed.OpenAppKey());
        EXPECT_FALSE(unnamed.WriteInt(kSection, "N", 1));
        EXPECT_EQ(4, unnamed.GetInt(kSection, "N", 4));
        EXPECT_FALSE(unnamed.WriteString(kSection, nullptr, nullptr));

        // A null or empty section would name the application key itself.
        for (const char* section : {static_cast<const char*>(nullptr), ""}) {
            EXPECT_FALSE(m_key.WriteInt(section, "N", 1));
            EXPECT_EQ(4, m_key.GetInt(section, "N", 4));
            EXPECT_EQ(CString("d"), m_key.GetString(section, "S", "d"));
            EXPECT_FALSE(m_key.WriteString(section, "S", "v"));
            EXPECT_FALSE(m_key.WriteString(section, nullptr, nullptr));
        }
        // A null entry of a value operation would name the key's default value.
        EXPECT_FALSE(m_key.WriteInt(kSection, nullptr, 1));
        EXPECT_EQ(4, m_key.GetInt(kSection, nullptr, 4));
        EXPECT_EQ(CString("d"), m_key.GetString(kSection, nullptr, "d"));
        EXPECT_EQ(0, reg.TotalCalls());
    }
    EXPECT_FALSE(RegKeyExists("HKCU\\Software\\Section"));
    EXPECT_EQ("REG_DWORD 0x1", RegQueryText(kRegSectionPath, "N")) << "nothing was deleted";
}

TEST_F(RegistryKeyTest, EveryFailingOpenOrCreateClosesWhatWasOpened)
{
    CRegistryKey withSub(HKEY_CURRENT_USER, nullptr, kCompany, kApp, "Sub");
    for (const CRegistryKey* key : {&m_key, &withSub}) {
        for (const Operation& op : AllOperations()) {
            SCOPED_TRACE(std::string(op.name) + (key == &withSub ? " with subkey" : ""));
            // Values in place, so that only the injected failure can fail the call.
            ASSERT_TRUE(key->WriteString(kSection, "S", "v"));
            ASSERT_TRUE(key->WriteInt(kSection, "N", 1));
            CountingRegistry reg;
            op.failedAsExpected(*key);
            const int nCalls = int(reg.KeyCalls().size());
            const int nDepth = key == &withSub ? 4 : 3;
            EXPECT_EQ(op.name == std::string("DeleteSection") ? nDepth : nDepth + 1, nCalls);
            EXPECT_EQ(0u, reg.OpenHandles());
            EXPECT_EQ(nCalls, reg.Closes());

            for (int nFail = 1; nFail <= nCalls; ++nFail) {
                ASSERT_TRUE(key->WriteString(kSection, "S", "v"));
                reg.Clear();
                reg.FailKeyCall(nFail);
                EXPECT_TRUE(op.failedAsExpected(*key)) << "failing call " << nFail;
                EXPECT_EQ(size_t(nFail), reg.KeyCalls().size()) << "stops at the failure";
                EXPECT_EQ(0u, reg.OpenHandles()) << "failing call " << nFail;
                EXPECT_EQ(nFail - 1, reg.Closes()) << "failing call " << nFail;
                EXPECT_EQ(0, reg.StrayCloses());
            }
        }
    }
}

TEST_F(RegistryKeyTest, FailingValueCallsStillCloseTheSection)
{
    ASSERT_TRUE(m_key.WriteString(kSection, "S", "v"));
    ASSERT_TRUE(m_key.WriteInt(kSection, "N", 1));
    CountingRegistry reg;
    reg.FailQuery();
    reg.FailSet();
    reg.FailDelete();
    for (const Operation& op : AllOperations()) {
        SCOPED_TRACE(op.name);
        EXPECT_TRUE(op.failedAsExpected(m_key));
        EXPECT_EQ(0u, reg.OpenHandles());
        EXPECT_EQ(0, reg.StrayCloses());
    }
    EXPECT_EQ(int(reg.KeyCalls().size()), reg.Closes());
}

// ---------------------------------------------------------------- QueryStringValue

class QueryStringValueTest : public RegistryKeyTest {
protected:
    void SetUp() override
    {
        RegistryKeyTest::SetUp();
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, kSectionPath.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &m_hSection, nullptr));
    }
    void TearDown() override
    {
        RegCloseKey(m_hSection);
        RegistryKeyTest::TearDown();
    }
    HKEY m_hSection = nullptr;
};

TEST_F(QueryStringValueTest, DataWithoutZeroIsTerminatedWithinTheBuffer)
{
    CountingRegistry reg;
    DWORD cbOffered = 0;
    reg.FakeQuery([&](HKEY, LPCSTR, LPDWORD, LPDWORD pType, LPBYTE pData, LPDWORD pcb) {
        if (pType)
            *pType = REG_SZ;
        if (!pData) {
            *pcb = 5;
            return LONG(ERROR_SUCCESS);
        }
        cbOffered = *pcb;
        // Fill every byte offered, with no zero among them.
        memset(pData, 'x', *pcb);
        return LONG(ERROR_SUCCESS);
    });
    EXPECT_EQ(CString("xxxxx"), CRegistryKey::QueryStringValue(m_hSection, "V", "d"));
    EXPECT_EQ(5u, cbOffered) << "the registry is offered exactly the size it reported";
}

TEST_F(QueryStringValueTest, AValueThatChangesBetweenTheQueriesNeverGivesGarbage)
{
    CountingRegistry reg;
    DWORD cbLater = 0;
    reg.FakeQuery([&](HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE pData, LPDWORD pcb) {
        if (!pData) {
            *pcb = 4;
            return LONG(ERROR_SUCCESS);
        }
        if (*pcb < cbLater) {
            *pcb = cbLater;
            return LONG(ERROR_MORE_DATA);
        }
        memcpy(pData, "ab", 3);
        *pcb = 3;
        return LONG(ERROR_SUCCESS);
    });
    cbLater = 100; // grew
    EXPECT_EQ(CString("default"), CRegistryKey::QueryStringValue(m_hSection, "V", "default"));
    cbLater = 3; // shrank
    EXPECT_EQ(CString("ab"), CRegistryKey::QueryStringValue(m_hSection, "V", "default"));
}

TEST_F(QueryStringValueTest, MissingValueOrKeyGivesTheDefault)
{
    EXPECT_EQ(CString("d"), CRegistryKey::QueryStringValue(m_hSection, "Missing", "d"));
    EXPECT_EQ(CString("d"), CRegistryKey::QueryStringValue(nullptr, "Missing", "d"));
    EXPECT_EQ(CString(""), CRegistryKey::QueryStringValue(nullptr, "Missing", nullptr));
    ASSERT_TRUE(WriteValue(HKEY_CURRENT_USER, kSectionPath, "V", REG_SZ, "text", 5));
    EXPECT_EQ(CString("text"), CRegistryKey::QueryStringValue(m_hSection, "V", "d"));
}

} // namespace
