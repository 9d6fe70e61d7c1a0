// CProfileStore: the backend chosen from the root, and the same section and
// entry names reaching HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
#include "settings/ProfileStore.h"

#include "Driver.h"
#include "SettingsTestSupport.h"
#include "product.h"

#include <gtest/gtest.h>

using namespace settings_test;

namespace {

constexpr const char* kSection = "StoreTest";
const std::string kKevra = TIERMO_COMPANY_KEY;
const std::string kSectionPath = kKevra + "\\" TIERMO_APP_NAME "\\StoreTest";

class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp().SetRegistryKey("Kevra");
        ASSERT_TRUE(driver::DeleteTree(HKEY_CURRENT_USER, kKevra));
        ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra));
    }
    void TearDown() override
    {
        driver::DeleteTree(HKEY_CURRENT_USER, kKevra);
        driver::DeleteTree(HKEY_LOCAL_MACHINE, kKevra);
    }
};

TEST_F(ProfileStoreTest, RootChoosesTheBackendAndZeroMeansLocalMachine)
{
    CProfileStore user(HKEY_CURRENT_USER);
    EXPECT_EQ(CProfileStore::kBackendProfile, user.m_nBackend);

    CProfileStore machine(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(CProfileStore::kBackendRegistryKey, machine.m_nBackend);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, machine.m_key.m_hRoot);
    EXPECT_EQ(CString("Software"), machine.m_key.m_strSoftware);
    EXPECT_EQ(CString("Kevra"), machine.m_key.m_strCompany);
    EXPECT_EQ(CString("Tiermo"), machine.m_key.m_strApp);

    CProfileStore zero(nullptr);
    EXPECT_EQ(CProfileStore::kBackendRegistryKey, zero.m_nBackend);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, zero.m_key.m_hRoot);
    ASSERT_TRUE(zero.WriteInt(kSection, "Zero", 12));
    EXPECT_EQ("REG_DWORD 0xc", RegQueryText("HKLM\\" + kSectionPath, "Zero"));
    EXPECT_FALSE(RegKeyExists("HKCU\\" + kKevra));

    CProfileStore users(HKEY_USERS);
    EXPECT_EQ(CProfileStore::kBackendRegistryKey, users.m_nBackend);
    EXPECT_EQ(HKEY_USERS, users.m_key.m_hRoot);
}

TEST_F(ProfileStoreTest, SameNamesReachCurrentUserAndLocalMachine)
{
    CProfileStore user(HKEY_CURRENT_USER);
    CProfileStore machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(user.WriteInt(kSection, "Number", 1));
    ASSERT_TRUE(machine.WriteInt(kSection, "Number", 2));
    ASSERT_TRUE(user.WriteString(kSection, "Text", CString("user")));
    ASSERT_TRUE(machine.WriteString(kSection, "Text", CString("machine")));

    EXPECT_EQ("REG_DWORD 0x1", RegQueryText("HKCU\\" + kSectionPath, "Number"));
    EXPECT_EQ("REG_DWORD 0x2", RegQueryText("HKLM\\" + kSectionPath, "Number"));
    EXPECT_EQ("REG_SZ user", RegQueryText("HKCU\\" + kSectionPath, "Text"));
    EXPECT_EQ("REG_SZ machine", RegQueryText("HKLM\\" + kSectionPath, "Text"));

    EXPECT_EQ(1, user.GetInt(kSection, "Number", 0));
    EXPECT_EQ(2, machine.GetInt(kSection, "Number", 0));
    EXPECT_EQ(CString("user"), user.GetString(kSection, "Text", CString("d")));
    EXPECT_EQ(CString("machine"), machine.GetString(kSection, "Text", CString("d")));
    EXPECT_EQ(CString("d"), machine.GetString(kSection, "Missing", CString("d")));
    EXPECT_EQ(-3, user.GetInt(kSection, "Missing", -3));

    // A null entry removes the section in both backends, and only there.
    EXPECT_TRUE(user.WriteString(kSection, nullptr, CString()));
    EXPECT_FALSE(RegKeyExists("HKCU\\" + kSectionPath));
    EXPECT_TRUE(RegKeyExists("HKLM\\" + kSectionPath));
    EXPECT_TRUE(machine.WriteString(kSection, nullptr, CString()));
    EXPECT_FALSE(RegKeyExists("HKLM\\" + kSectionPath));
}

TEST_F(ProfileStoreTest, CurrentUserStoreNeverUsesItsOwnKey)
{
    CProfileStore user(HKEY_CURRENT_USER);
    user.m_key.Reset(HKEY_LOCAL_MACHINE, nullptr, "Kevra", "Trap");
    CountingRegistry reg;
    EXPECT_TRUE(user.WriteInt(kSection, "N", 5));
    EXPECT_EQ(5, user.GetInt(kSection, "N", 0));
    EXPECT_TRUE(user.WriteString(kSection, "S", CString("s")));
    EXPECT_EQ(CString("s"), user.GetString(kSection, "S", CString()));
    EXPECT_TRUE(user.WriteString(kSection, nullptr, CString()));
    ASSERT_FALSE(reg.KeyCalls().empty());
    for (const KeyCall& call : reg.KeyCalls())
        EXPECT_NE(HKEY_LOCAL_MACHINE, call.hParent) << call.name;
    EXPECT_EQ(0u, reg.OpenHandles());
    EXPECT_FALSE(RegKeyExists("HKLM\\" + kKevra));
}

TEST_F(ProfileStoreTest, UnreachableKeysGiveDefaultsAndFalseInBothBackends)
{
    CProfileStore user(HKEY_CURRENT_USER);
    CProfileStore machine(HKEY_LOCAL_MACHINE);
    CountingRegistry reg;
    for (CProfileStore* store : {&user, &machine}) {
        SCOPED_TRACE(store == &user ? "profile" : "registry key");
        reg.Clear();
        reg.FailKeyCall(1);
        EXPECT_EQ(8, store->GetInt(kSection, "N", 8));
        reg.Clear();
        reg.FailKeyCall(1);
        EXPECT_FALSE(store->WriteInt(kSection, "N", 1));
        reg.Clear();
        reg.FailKeyCall(1);
        EXPECT_EQ(CString("d"), store->GetString(kSection, "S", CString("d")));
        reg.Clear();
        reg.FailKeyCall(1);
        EXPECT_FALSE(store->WriteString(kSection, "S", CString("v")));
        EXPECT_EQ(0u, reg.OpenHandles());
    }
    EXPECT_FALSE(RegKeyExists("HKCU\\" + kKevra));
    EXPECT_FALSE(RegKeyExists("HKLM\\" + kKevra));
}

TEST_F(ProfileStoreTest, NothingIsWrittenByConstructionOrDestruction)
{
    CountingRegistry reg;
    {
        CProfileStore user(HKEY_CURRENT_USER);
        CProfileStore machine(HKEY_LOCAL_MACHINE);
        user.InitRecord();
        machine.InitRecord();
    }
    EXPECT_EQ(0, reg.TotalCalls());
}

} // namespace
