// The registry readers against whatever may be stored: values of every type
// and of sizes from none to very large, odd section and entry names, against
// Wine's real registry with a fixed seed and a bounded number of rounds.
// Reads must give the stored bytes or the default, never leak a key handle,
// and the stored version must come out as the running one.
//
// CI runs 700 rounds. TIERMO_FUZZ_ROUNDS=n runs about n rounds instead, shared
// among the three tests in the same proportions (the long run in
// docs/building.md).
#include "settings/Settings.h"

#include "Driver.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace settings_test;

namespace {

CWinApp theTestApp(TIERMO_APP_NAME);

constexpr unsigned kSeed = 0x7131E406u;
constexpr int kReaderRounds = 250;
constexpr int kVersionRounds = 200;
constexpr int kNameRounds = 250;
constexpr int kCiRounds = kReaderRounds + kVersionRounds + kNameRounds;
constexpr DWORD kVeryLarge = 1u << 20;
constexpr int kIntDefault = 0x5EED;
constexpr const char* kStringDefault = "(default)";

constexpr const char* kFuzzCompany = "TiermoFuzz";
constexpr const char* kFuzzApp = "Reader";
constexpr const char* kSection = "Section";
const std::string kFuzzRoot = "Software\\TiermoFuzz";
const std::string kFuzzSection = "Software\\TiermoFuzz\\Reader\\Section";
const std::string kKevra = TIERMO_COMPANY_KEY;
const std::string kAppKey = kKevra + "\\" TIERMO_APP_NAME;
const std::string kVersionKey = TIERMO_VERSION_KEY;
// A value beside the version, which no round may lose.
constexpr const char* kNeighbour = "Neighbour";
constexpr char kNeighbourText[] = "kept";

// The rounds of a test that runs ciRounds in CI, scaled to TIERMO_FUZZ_ROUNDS.
int Rounds(int ciRounds)
{
    const long long total = std::atoll(driver::Env("TIERMO_FUZZ_ROUNDS", "0").c_str());
    if (total <= 0)
        return ciRounds;
    return int((total * ciRounds + kCiRounds - 1) / kCiRounds);
}

// What a test tried, printed at its end: rounds, value types, sizes.
class Tally {
public:
    void Add(DWORD type, size_t size)
    {
        ++m_rounds;
        ++m_types[type];
        m_minSize = std::min(m_minSize, size);
        m_maxSize = std::max(m_maxSize, size);
    }
    ~Tally()
    {
        std::printf("[fuzz] %s: %d rounds, sizes %zu to %zu bytes, types", Name(), m_rounds,
                    m_rounds ? m_minSize : 0, m_maxSize);
        for (const auto& [type, count] : m_types)
            std::printf(" 0x%lx:%d", static_cast<unsigned long>(type), count);
        std::printf("\n");
    }

private:
    static const char* Name()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info ? info->name() : "?";
    }
    int m_rounds = 0;
    std::map<DWORD, int> m_types;
    size_t m_minSize = SIZE_MAX;
    size_t m_maxSize = 0;
};

// A value as the ANSI registry functions hand it out: the reference the
// readers are held to.
struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

RawValue ReadRaw(HKEY hRoot, const std::string& key, const std::string& name)
{
    RawValue raw;
    HKEY h = nullptr;
    if (RegOpenKeyExA(hRoot, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &raw.type, nullptr, &size) == ERROR_SUCCESS) {
        raw.data.resize(size);
        DWORD got = size;
        raw.exists = RegQueryValueExA(h, name.c_str(), nullptr, &raw.type,
                                      size ? raw.data.data() : nullptr, &got) == ERROR_SUCCESS;
        raw.data.resize(got);
    }
    RegCloseKey(h);
    return raw;
}

bool DeleteRaw(HKEY hRoot, const std::string& key, const std::string& name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(hRoot, key.c_str(), 0, KEY_WRITE, &h) != ERROR_SUCCESS)
        return true;
    const LONG r = RegDeleteValueA(h, name.c_str());
    RegCloseKey(h);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// The text of the bytes up to the first zero byte.
std::string TextOf(const std::vector<BYTE>& data)
{
    const auto* p = reinterpret_cast<const char*>(data.data());
    return std::string(p, strnlen(p, data.size()));
}

// The low bytes of an integer read from data of at most four bytes.
int LowBytes(const std::vector<BYTE>& data)
{
    DWORD value = 0;
    std::memcpy(&value, data.data(), data.size());
    return int(value);
}

// Random value types, sizes, contents and names from one fixed seed.
class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : m_rng(seed) {}

    int Below(int n) { return int(m_rng() % unsigned(n)); }

    DWORD Type()
    {
        static constexpr DWORD kTypes[] = {
            REG_NONE,     REG_SZ,    REG_EXPAND_SZ, REG_BINARY,  REG_DWORD,  REG_DWORD_BIG_ENDIAN,
            REG_MULTI_SZ, REG_QWORD, REG_LINK,      0x0000007Fu, 0xFFFF0000u};
        // Strings and integers are what the readers meet most; favour them.
        const int pick = Below(4);
        return pick == 0 ? REG_SZ : pick == 1 ? REG_DWORD : kTypes[Below(int(std::size(kTypes)))];
    }

    // Sizes from nothing through 1 to 3 bytes and 4 bytes up to very large.
    DWORD Size()
    {
        const int pick = Below(20);
        if (pick < 2)
            return 0;
        if (pick < 6)
            return DWORD(1 + Below(3));
        if (pick < 9)
            return 4;
        if (pick < 12)
            return DWORD(5 + Below(12));
        if (pick < 15)
            return DWORD(17 + Below(500));
        if (pick < 18)
            return DWORD(4096 + Below(60000));
        if (pick < 19)
            return kVeryLarge + DWORD(Below(4096));
        return DWORD(Below(8));
    }

    // Any bytes, text without a terminator, terminated text, or zeros.
    std::vector<BYTE> Data(DWORD size)
    {
        std::vector<BYTE> data(size);
        const int kind = Below(4);
        for (DWORD i = 0; i < size; ++i)
            data[i] = kind == 0   ? BYTE(m_rng())
                      : kind == 1 ? BYTE('a' + Below(26))
                      : kind == 2 ? BYTE(i + 1 == size ? 0 : ' ' + Below(95))
                                  : BYTE(0);
        return data;
    }

    // Section or entry names: ordinary, empty, too long for a key, with a
    // backslash, with bytes above 127; null a few times.
    const char* Name(std::string& storage)
    {
        const int pick = Below(9);
        if (pick == 0)
            return nullptr;
        storage = pick == 1   ? std::string()
                  : pick == 2 ? std::string(size_t(256 + Below(200)), 'n')
                  : pick == 3 ? std::string("Fuzz\\Deeper")
                  : pick == 4 ? std::string("Fuzz\xE9\xFF\x80")
                  : pick == 5 ? std::string(size_t(1 + Below(255)), 'k')
                              : "Fuzz" + std::to_string(Below(4));
        return storage.c_str();
    }

private:
    std::mt19937 m_rng;
};

class RegistryFuzz : public ::testing::Test {
protected:
    void SetUp() override
    {
        theTestApp.SetRegistryKey(kRegistryCompany);
        ASSERT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kFuzzRoot));
        ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kFuzzRoot));
        ASSERT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kKevra));
        ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra));
    }
    void TearDown() override
    {
        driver::DeleteTree(HKEY_CURRENT_USER, kFuzzRoot);
        driver::DeleteTree(HKEY_LOCAL_MACHINE, kFuzzRoot);
        driver::DeleteTree(HKEY_CURRENT_USER, kKevra);
        driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra);
    }

    // Stores data as type under name at root\key, or removes the value when
    // the fuzzer says so; returns what the registry then holds.
    static RawValue Store(HKEY hRoot, const std::string& key, const std::string& name, DWORD type,
                          const std::vector<BYTE>& data, bool remove)
    {
        if (remove) {
            EXPECT_TRUE(DeleteRaw(hRoot, key, name));
        } else {
            EXPECT_TRUE(WriteValue(hRoot, key, name, type, data.data(), DWORD(data.size())))
                << "type " << type << ", " << data.size() << " bytes";
        }
        return ReadRaw(hRoot, key, name);
    }
};

// CRegistryKey, and the settings store over both backends, read back exactly
// what is stored whatever its type and size, or the default.
TEST_F(RegistryFuzz, ReadersGiveTheStoredBytesOrTheDefaultForAnyValue)
{
    Fuzzer fuzz(kSeed);
    CRegistryKey userKey(HKEY_CURRENT_USER, nullptr, kFuzzCompany, kFuzzApp);
    CProfileStore machineStore(HKEY_LOCAL_MACHINE);
    machineStore.m_key.Reset(HKEY_LOCAL_MACHINE, nullptr, kFuzzCompany, kFuzzApp);
    CProfileStore profileStore(HKEY_CURRENT_USER);
    const std::string profileSection = kAppKey + "\\" + kSection;
    const std::string names[] = {"Value", "", std::string(200, 'v')};
    const CString strDefault(kStringDefault);

    Tally tally;
    const int rounds = Rounds(kReaderRounds);
    for (int round = 0; round < rounds; ++round) {
        const DWORD type = fuzz.Type();
        const DWORD size = fuzz.Size();
        const std::vector<BYTE> data = fuzz.Data(size);
        const bool remove = fuzz.Below(10) == 0;
        tally.Add(type, size);
        const std::string& name = names[fuzz.Below(3)];
        SCOPED_TRACE(::testing::Message()
                     << "round " << round << ": type " << type << ", " << size << " bytes"
                     << (remove ? ", removed" : "") << ", name of " << name.size());

        const RawValue user = Store(HKEY_CURRENT_USER, kFuzzSection, name, type, data, remove);
        const RawValue machine = Store(HKEY_LOCAL_MACHINE, kFuzzSection, name, type, data, remove);
        const RawValue profile = Store(HKEY_CURRENT_USER, profileSection, name, type, data, remove);

        CountingRegistry reg;
        // The key and the registry backend: any type; four bytes or fewer give
        // an integer (fewer fill its low bytes), more give the default.
        for (const auto& [raw, pick] : {std::pair{user, 0}, std::pair{machine, 1}}) {
            const int nInt = pick == 0 ? userKey.GetInt(kSection, name.c_str(), kIntDefault)
                                       : machineStore.GetInt(kSection, name.c_str(), kIntDefault);
            const CString str = pick == 0
                                    ? userKey.GetString(kSection, name.c_str(), kStringDefault)
                                    : machineStore.GetString(kSection, name.c_str(), strDefault);
            if (!raw.exists) {
                EXPECT_EQ(kIntDefault, nInt);
                EXPECT_EQ(strDefault, str);
                continue;
            }
            if (raw.data.size() == 4) {
                EXPECT_EQ(LowBytes(raw.data), nInt);
            } else if (raw.data.size() < 4) {
                EXPECT_TRUE(nInt == LowBytes(raw.data) || nInt == kIntDefault) << nInt;
            } else {
                EXPECT_EQ(kIntDefault, nInt);
            }
            EXPECT_EQ(TextOf(raw.data), std::string(LPCSTR(str), size_t(str.GetLength())));
        }

        // The profile backend takes only a four-byte REG_DWORD and a REG_SZ.
        const int nProfileInt = profileStore.GetInt(kSection, name.c_str(), kIntDefault);
        const CString strProfile = profileStore.GetString(kSection, name.c_str(), strDefault);
        if (profile.exists && profile.type == REG_DWORD && profile.data.size() == 4) {
            EXPECT_EQ(LowBytes(profile.data), nProfileInt);
        } else {
            EXPECT_EQ(kIntDefault, nProfileInt);
        }
        if (profile.exists && profile.type == REG_SZ) {
            EXPECT_EQ(TextOf(profile.data),
                      std::string(LPCSTR(strProfile), size_t(strProfile.GetLength())));
        } else {
            EXPECT_EQ(strDefault, strProfile);
        }

        EXPECT_EQ(0u, reg.OpenHandles());
        if (HasFailure())
            break;
    }
}

// Whatever "Version" holds, or when it or its key is missing, the record reads
// it as the readers do, leaves the running version stored as a REG_DWORD, and
// touches nothing else; the run after that writes nothing.
TEST_F(RegistryFuzz, VersionRecordEndsWithTheRunningVersionWhateverWasStored)
{
    Fuzzer fuzz(kSeed + 1);
    Tally tally;
    const int rounds = Rounds(kVersionRounds);
    for (int round = 0; round < rounds; ++round) {
        const DWORD type = fuzz.Type();
        const DWORD size = fuzz.Size();
        const std::vector<BYTE> data = fuzz.Data(size);
        const int what = fuzz.Below(10);
        tally.Add(type, size);
        SCOPED_TRACE(::testing::Message() << "round " << round << ": type " << type << ", " << size
                                          << " bytes, case " << what);
        if (what == 0) {
            ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kVersionKey));
        } else if (what == 1) {
            ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra));
        } else {
            ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kNeighbour, REG_SZ,
                                   kNeighbourText, sizeof kNeighbourText));
            if (what == 2)
                ASSERT_TRUE(DeleteRaw(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry));
            else
                ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry, type,
                                       data.data(), DWORD(data.size())));
        }
        const RawValue before = ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry);
        const RawValue neighbour = ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kNeighbour);

        CountingRegistry reg;
        CSettings record;
        record.m_dwCurrentVersion = kProgramVersion;
        record.m_key.Reset(record.m_key.m_hRoot);
        record.InitRecord();
        EXPECT_EQ(0u, reg.OpenHandles());

        DWORD dwExpected = 0;
        if (before.exists && before.data.size() <= 4)
            dwExpected = DWORD(LowBytes(before.data));
        if (before.exists && before.data.size() < 4) {
            EXPECT_TRUE(record.m_dwStoredVersion == dwExpected || record.m_dwStoredVersion == 0);
        } else {
            EXPECT_EQ(dwExpected, record.m_dwStoredVersion);
        }

        const RawValue after = ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry);
        ASSERT_TRUE(after.exists);
        ASSERT_EQ(4u, after.data.size());
        EXPECT_EQ(int(kProgramVersion), LowBytes(after.data));
        if (record.m_dwStoredVersion != kProgramVersion) {
            EXPECT_EQ(DWORD(REG_DWORD), after.type);
        }
        const RawValue neighbourAfter = ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kNeighbour);
        EXPECT_EQ(neighbour.exists, neighbourAfter.exists);
        EXPECT_EQ(neighbour.data, neighbourAfter.data);

        reg.Clear();
        CSettings next;
        next.m_dwCurrentVersion = kProgramVersion;
        next.m_key.Reset(next.m_key.m_hRoot);
        next.InitRecord();
        EXPECT_EQ(kProgramVersion, next.m_dwStoredVersion);
        EXPECT_EQ(0, reg.Sets());
        if (HasFailure())
            break;
    }
}

// Odd section and entry names and random values through every read and
// write of the key and both store backends: no handle is leaked, nothing
// outside the named sections changes, and the stored version survives.
TEST_F(RegistryFuzz, OddNamesAndValuesNeverTouchTheStoredVersion)
{
    const DWORD dwVersion = kProgramVersion;
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry, REG_DWORD, &dwVersion,
                           sizeof dwVersion));
    ASSERT_TRUE(WriteValue(HKEY_LOCAL_MACHINE, kVersionKey, kNeighbour, REG_SZ, kNeighbourText,
                           sizeof kNeighbourText));

    Fuzzer fuzz(kSeed + 2);
    CRegistryKey key(HKEY_LOCAL_MACHINE);
    key.Reset(HKEY_LOCAL_MACHINE);
    CProfileStore machineStore(nullptr);
    machineStore.m_key.Reset(HKEY_LOCAL_MACHINE);
    CProfileStore profileStore(HKEY_CURRENT_USER);
    CountingRegistry reg;
    Tally tally;
    const int rounds = Rounds(kNameRounds);
    for (int round = 0; round < rounds; ++round) {
        std::string sectionText, entryText;
        const char* pszSection = fuzz.Name(sectionText);
        const char* pszEntry = fuzz.Name(entryText);
        const std::vector<BYTE> bytes = fuzz.Data(DWORD(fuzz.Below(300)));
        tally.Add(REG_SZ, bytes.size());
        std::string valueText = TextOf(bytes);
        const int nValue = int(fuzz.Below(1 << 30));
        SCOPED_TRACE(::testing::Message()
                     << "round " << round << ": section of "
                     << (pszSection ? int(sectionText.size()) : -1) << ", entry of "
                     << (pszEntry ? int(entryText.size()) : -1));

        // The key's strings or integers, or the machine or the profile store's.
        const int op = fuzz.Below(6);
        CProfileStore& store = op < 4 ? machineStore : profileStore;
        if (op == 0) {
            key.WriteString(pszSection, pszEntry, fuzz.Below(4) ? valueText.c_str() : nullptr);
            key.GetString(pszSection, pszEntry, kStringDefault);
        } else if (op == 1) {
            key.WriteInt(pszSection, pszEntry, nValue);
            key.GetInt(pszSection, pszEntry, kIntDefault);
        } else if (op % 2 == 0) {
            store.WriteString(pszSection, pszEntry, CString(valueText.c_str()));
            store.GetString(pszSection, pszEntry, CString(kStringDefault));
        } else {
            store.WriteInt(pszSection, pszEntry, nValue);
            store.GetInt(pszSection, pszEntry, kIntDefault);
        }
        EXPECT_EQ(0u, reg.OpenHandles());

        const RawValue version = ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kVersionEntry);
        ASSERT_TRUE(version.exists);
        EXPECT_EQ(DWORD(REG_DWORD), version.type);
        ASSERT_EQ(4u, version.data.size());
        EXPECT_EQ(int(kProgramVersion), LowBytes(version.data));
        EXPECT_EQ(TextOf(ReadRaw(HKEY_LOCAL_MACHINE, kVersionKey, kNeighbour).data),
                  kNeighbourText);
        if (HasFailure())
            break;
    }
    EXPECT_EQ(0, reg.StrayCloses());
}

} // namespace

CWinApp& settings_test::TestApp() { return theTestApp; }
