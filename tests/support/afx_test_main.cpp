// Entry point of the test programs that run framework code: the program's
// application object is initialised as WinMain would do before any test runs.
#include "platform/Afx.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!AfxWinInit(::GetModuleHandleA(nullptr))) {
        std::fprintf(stderr, "AfxWinInit failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
