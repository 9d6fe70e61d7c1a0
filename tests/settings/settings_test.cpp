// CSettings, the version record: the first and later runs, other stored
// versions, bad stored data and an unreachable key, against HKEY_LOCAL_MACHINE.
#include "settings/Settings.h"

#include "Driver.h"
#include "SettingsTestSupport.h"
#include "app/TiermoApp.h"

#include <gtest/gtest.h>

using namespace settings_test;

// The program's own application object: its start-up steps run as they do in
// the program. Its name comes from the program's string table.
namespace {
CTiermoApp theTestApp;
} // namespace

CWinApp& settings_test::TestApp() { return theTestApp; }

namespace {

const std::string kKevra = TIERMO_COMPANY_KEY;
const std::string kVersionKey = TIERMO_VERSION_KEY;
const std::string kRegVersionKey = "HKLM\\" + kVersionKey;

class VersionRecordTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra)); }
    void TearDown() override { driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra); }

    // One start of the program: its record as constructed, then the
    // program's own start-up steps.
    static CSettings& Start()
    {
        CSettings& record = theTestApp.m_settings;
        record.m_dwStoredVersion = record.m_dwCurrentVersion = 0;
        theTestApp.InitVersionRecord();
        return record;
    }
    void StoreDword(DWORD dw)
    {
        ASSERT_TRUE(
            WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry, REG_DWORD, &dw, sizeof dw));
    }
    // The stored version as reg.exe reports it.
    static void ExpectStored(DWORD dwVersion)
    {
        EXPECT_EQ("REG_DWORD " + driver::RegDwordText(dwVersion),
                  RegQueryText(kRegVersionKey, kVersionEntry));
    }
};

TEST_F(VersionRecordTest, ConstructedForLocalMachineWithoutTouchingTheRegistry)
{
    ForgetRegistryKey();
    CountingRegistry reg;
    {
        CSettings record;
        EXPECT_EQ(CProfileStore::kBackendRegistryKey, record.m_nBackend);
        EXPECT_EQ(HKEY_LOCAL_MACHINE, record.m_key.m_hRoot);
        EXPECT_TRUE(record.m_key.m_strCompany.IsEmpty());
    }
    EXPECT_EQ(0, reg.TotalCalls());
}

TEST_F(VersionRecordTest, FirstRunStoresTheRunningVersionThenTheNextWritesNothing)
{
    EXPECT_EQ(0u, Start().m_dwStoredVersion);
    ExpectStored(kProgramVersion);

    CountingRegistry reg;
    EXPECT_EQ(kProgramVersion, Start().m_dwStoredVersion);
    EXPECT_EQ(0, reg.Sets());
    EXPECT_EQ(0u, reg.OpenHandles());
}

TEST_F(VersionRecordTest, AnyOtherStoredVersionIsOverwrittenOnceAndRemembered)
{
    for (DWORD dwOld : {0x00010005u, 0x00020000u, 0xFFFFFFFFu, 0x00060001u}) {
        SCOPED_TRACE(dwOld);
        StoreDword(dwOld);
        CountingRegistry reg;
        EXPECT_EQ(dwOld, Start().m_dwStoredVersion) << "keeps the version of the previous run";
        EXPECT_EQ(1, reg.Sets());
        ExpectStored(kProgramVersion);
    }
}

TEST_F(VersionRecordTest, ReadingCreatesTheKeysBeforeAnythingIsWritten)
{
    CountingRegistry reg;
    reg.FailSet();
    EXPECT_EQ(0u, Start().m_dwStoredVersion);
    EXPECT_TRUE(RegKeyExists(kRegVersionKey));
    EXPECT_EQ("", RegQueryText(kRegVersionKey, kVersionEntry));
}

struct BadData {
    const char* name;
    DWORD dwType;
    std::string bytes;
    DWORD dwExpected; // what the record reads
};

TEST_F(VersionRecordTest, BadStoredDataNeverCrashesAndIsReplaced)
{
    const std::string big(1 << 20, '7');
    const BadData cases[] = {
        {"short REG_SZ", REG_SZ, std::string("1.6", 4), 0x00362E31},
        {"long REG_SZ", REG_SZ, std::string("1.6.0", 6), 0},
        {"1 MB REG_SZ", REG_SZ, big + '\0', 0},
        {"2-byte REG_BINARY", REG_BINARY, std::string("\x06\x00", 2), 0x0006},
        {"8-byte REG_BINARY", REG_BINARY, std::string("\x06\x00\x01\x00\x00\x00\x00\x00", 8), 0},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("1\0006\0", 5), 0},
        {"empty REG_BINARY", REG_BINARY, std::string(), 0},
    };
    for (const BadData& bad : cases) {
        SCOPED_TRACE(bad.name);
        ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry, bad.dwType,
                               bad.bytes.data(), DWORD(bad.bytes.size())));
        CountingRegistry reg;
        EXPECT_EQ(bad.dwExpected, Start().m_dwStoredVersion);
        EXPECT_EQ(1, reg.Sets());
        EXPECT_EQ(0u, reg.OpenHandles());
        ExpectStored(kProgramVersion);
    }
}

TEST_F(VersionRecordTest, UnreachableKeyReadsZeroAndAbsorbsTheFailedWrite)
{
    StoreDword(kProgramVersion);
    CountingRegistry reg;
    reg.FailKeyCall(1); // "Software" cannot be opened for reading and writing
    EXPECT_EQ(0u, Start().m_dwStoredVersion) << "so the About box opens at every start";
    EXPECT_EQ(0u, reg.OpenHandles());

    // A write that fails after a good read changes nothing either.
    StoreDword(0x00010005);
    reg.Clear();
    reg.FailSet();
    EXPECT_EQ(0x00010005u, Start().m_dwStoredVersion);
    EXPECT_EQ(0u, reg.OpenHandles());
    ExpectStored(0x00010005);
}

TEST(VersionText, MajorAndMinorAsUnsignedDecimals)
{
    CSettings record;
    const std::pair<DWORD, const char*> cases[] = {
        {0x00010006, "1.6"}, {0x0001000A, "1.10"},        {0x00020000, "2.0"},
        {0x00000000, "0.0"}, {0xFFFFFFFF, "65535.65535"},
    };
    for (const auto& [dw, text] : cases) {
        record.m_dwCurrentVersion = dw;
        EXPECT_EQ(CString(text), record.GetVersionText()) << std::hex << dw;
    }
}

} // namespace
