// Entry point of the settings unit tests: an application object of our own
// (named like the program) so that the framework's profile functions work.
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

namespace {
CWinApp theTestApp("Tiermo");
} // namespace

CWinApp& settings_test::TestApp() { return theTestApp; }

int main(int argc, char** argv)
{
    AfxWinInit(::GetModuleHandleA(nullptr));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
