// Entry point of the framework-layer tests: the test application object is
// initialised as WinMain would do before any test runs.
#include "PlatformTest.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!AfxWinInit(::GetModuleHandleA(nullptr))) {
        std::fprintf(stderr, "AfxWinInit failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
