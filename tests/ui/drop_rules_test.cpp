// The pure rules of a drop: the climb to the top-level window, the own-dialog
// rule, the tick-count wait and the flags of the Z-order change.
#include "ui/DropRules.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace {

// A fake window tree: each handle maps to the window GetParent would report.
std::map<HWND, HWND> g_parents;
int g_parentCalls = 0;

HWND WINAPI FakeGetParent(HWND hWnd)
{
    ++g_parentCalls;
    auto it = g_parents.find(hWnd);
    return it == g_parents.end() ? nullptr : it->second;
}

HWND H(UINT_PTR n) { return reinterpret_cast<HWND>(n); }

class ClimbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_parents.clear();
        g_parentCalls = 0;
    }
};

TEST_F(ClimbTest, FollowsParentsAndOwnersToTheLastWindow)
{
    // edit control 4 in frame 3, owned pop-up 5 owned by 3, 3 owned by nothing.
    g_parents = {{H(4), H(3)}, {H(5), H(3)}, {H(6), H(5)}};
    EXPECT_EQ(droprules::ClimbToTopLevel(H(4), &FakeGetParent), H(3));
    EXPECT_EQ(droprules::ClimbToTopLevel(H(6), &FakeGetParent), H(3));
    EXPECT_EQ(droprules::ClimbToTopLevel(H(3), &FakeGetParent), H(3));
    EXPECT_EQ(droprules::ClimbToTopLevel(nullptr, &FakeGetParent), nullptr);
}

TEST_F(ClimbTest, LongChainWithinTheBoundStillEnds)
{
    for (int i = 1; i < droprules::kMaxClimb; ++i)
        g_parents[H(i + 1)] = H(i);
    EXPECT_EQ(droprules::ClimbToTopLevel(H(droprules::kMaxClimb), &FakeGetParent), H(1));
}

TEST_F(ClimbTest, LoopingChainIsRefusedAfterABoundedClimb)
{
    // A window that is its own parent, and a three-window ring.
    g_parents = {{H(7), H(7)}};
    EXPECT_EQ(droprules::ClimbToTopLevel(H(7), &FakeGetParent), nullptr);
    EXPECT_LE(g_parentCalls, droprules::kMaxClimb + 1);

    g_parentCalls = 0;
    g_parents = {{H(1), H(2)}, {H(2), H(3)}, {H(3), H(1)}, {H(9), H(1)}};
    EXPECT_EQ(droprules::ClimbToTopLevel(H(9), &FakeGetParent), nullptr);
    EXPECT_LE(g_parentCalls, droprules::kMaxClimb + 1);
}

TEST(OwnDialogRule, OnlyChildrenOfTheOwnDialogAreIgnored)
{
    const HWND dialog = H(100);
    EXPECT_TRUE(droprules::IsOwnDialogControl(dialog, dialog));   // icon, button
    EXPECT_FALSE(droprules::IsOwnDialogControl(nullptr, dialog)); // the dialog itself
    EXPECT_FALSE(droprules::IsOwnDialogControl(H(200), dialog));  // another window's child
    EXPECT_FALSE(droprules::IsOwnDialogControl(nullptr, nullptr));
}

// A tick count that advances by a fixed step on every read.
DWORD g_tick = 0;
DWORD g_tickStep = 1;
int g_tickReads = 0;
constexpr int kMaxTickReads = 1000000;

DWORD WINAPI FakeTick()
{
    ++g_tickReads;
    // A fault that never ends the wait must not hang the test.
    if (g_tickReads > kMaxTickReads)
        throw std::runtime_error("wait did not end");
    DWORD now = g_tick;
    g_tick += g_tickStep;
    return now;
}

TEST(TickWait, ElapsedAcrossTheWrapOfTheTickCount)
{
    EXPECT_FALSE(droprules::TicksElapsed(0xFFFFFFF0u, 0xFFFFFFF0u, 50));
    EXPECT_FALSE(droprules::TicksElapsed(0xFFFFFFF0u, 0x00000021u, 50)); // 49 ms
    EXPECT_TRUE(droprules::TicksElapsed(0xFFFFFFF0u, 0x00000022u, 50));  // 50 ms
    EXPECT_TRUE(droprules::TicksElapsed(0xFFFFFFF0u, 0x00001000u, 50));
    EXPECT_TRUE(droprules::TicksElapsed(100, 100, 0));
    EXPECT_FALSE(droprules::TicksElapsed(100, 149, 50));
    EXPECT_TRUE(droprules::TicksElapsed(100, 150, 50));
}

TEST(TickWait, BusyWaitEndsAfterTheTimeAlsoWhenTheCountWraps)
{
    for (DWORD start : {0xFFFFFFF0u, 0xFFFFFFFFu, 0u, 1000u}) {
        g_tick = start;
        g_tickStep = 1;
        g_tickReads = 0;
        ASSERT_NO_THROW(droprules::BusyWaitTicks(50, &FakeTick)) << std::hex << start;
        // One read for the start, then reads until 50 ms have passed.
        EXPECT_EQ(g_tickReads, 51) << std::hex << start;
        EXPECT_EQ(DWORD(g_tick - 1 - start), 50u);
    }
}

TEST(TickWait, BusyWaitEndsWhenTheCountJumpsPastTheWrap)
{
    g_tick = 0xFFFFFFF0u;
    g_tickStep = 40; // coarse clock: 0xFFFFFFF0, 0x18, 0x40
    g_tickReads = 0;
    ASSERT_NO_THROW(droprules::BusyWaitTicks(50, &FakeTick));
    EXPECT_EQ(g_tickReads, 3);
}

TEST(TickWait, RealTickCountWaitLastsAboutTheTime)
{
    const DWORD before = ::GetTickCount();
    droprules::BusyWaitTicks(droprules::kFlashWaitMs, &::GetTickCount);
    const DWORD took = ::GetTickCount() - before;
    EXPECT_GE(took, droprules::kFlashWaitMs);
    EXPECT_LT(took, 1000u);
}

TEST(ZOrderFlags, OrderOnlyAndAsyncOnlyForAHungTarget)
{
    constexpr UINT kOrderOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
    for (bool answers : {true, false}) {
        const UINT flags = droprules::ZOrderFlags(answers);
        EXPECT_EQ(flags & ~UINT(SWP_ASYNCWINDOWPOS), kOrderOnly) << answers;
        EXPECT_EQ((flags & SWP_ASYNCWINDOWPOS) != 0, !answers);
    }
}

} // namespace
