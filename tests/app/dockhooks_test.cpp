// The notification registry: counted registration, which hooks are in place, who is called for
// which point (also while procedures come and go), the application's active state, and the
// stable list sort.
#include "app/dockhooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HookCall {
    char Proc;
    THookProcCode Code;
    TWindowHandle Wnd;
    uintptr_t WParam;
    intptr_t LParam;
    bool operator==(const HookCall&) const = default;
};
std::vector<HookCall> Calls;
THookProc Unregister = nullptr;

void ProcA(THookProcCode Code, TWindowHandle Wnd, uintptr_t W, intptr_t L) { Calls.push_back({'a', Code, Wnd, W, L}); }
void ProcB(THookProcCode Code, TWindowHandle Wnd, uintptr_t W, intptr_t L) {
    Calls.push_back({'b', Code, Wnd, W, L});
    if (Unregister) UninstallHookProc(std::exchange(Unregister, nullptr));
}

class Hooks : public testing::Test {
protected:
    Hooks() { Calls.clear(); }
    ~Hooks() override {
        RemoveAllHookProcs();
        SetApplicationActive(false);
    }
};

const THookProcCodes ButtonCodes = HookCode(THookProcCode::hpActivateApp) | HookCode(THookProcCode::hpMouseMovePosted);
const THookProcCodes WindowCodes = HookCode(THookProcCode::hpActivateApp) |
                                   HookCode(THookProcCode::hpWindowPosChanged) |
                                   HookCode(THookProcCode::hpDestroyWindow);

TEST_F(Hooks, RegistrationIsCountedAndHooksFollowTheirUsers) {
    InstallHookProc(ProcA, ButtonCodes);
    InstallHookProc(ProcA, ButtonCodes);
    EXPECT_EQ(HookProcCount(), 1u);
    EXPECT_EQ(HookProcRefCount(ProcA), 2);
    EXPECT_TRUE(HookInstalled(THookKind::hkCallWndProc));
    EXPECT_TRUE(HookInstalled(THookKind::hkGetMessage));
    EXPECT_FALSE(HookInstalled(THookKind::hkCBT));
    InstallHookProc(ProcB, WindowCodes);
    EXPECT_TRUE(HookInstalled(THookKind::hkCBT));
    UninstallHookProc(ProcA);
    EXPECT_EQ(HookProcRefCount(ProcA), 1);
    EXPECT_TRUE(HookInstalled(THookKind::hkGetMessage));
    UninstallHookProc(ProcA);
    EXPECT_EQ(HookProcRefCount(ProcA), 0);
    EXPECT_FALSE(HookInstalled(THookKind::hkGetMessage));
    EXPECT_TRUE(HookInstalled(THookKind::hkCallWndProc));  // still needed by B
    UninstallHookProc(ProcA);                              // unknown now: ignored
    UninstallHookProc(ProcB);
    EXPECT_EQ(HookProcCount(), 0u);
    for (THookKind k : {THookKind::hkCallWndProc, THookKind::hkCBT, THookKind::hkGetMessage})
        EXPECT_FALSE(HookInstalled(k));
    InstallHookProc(ProcA, ButtonCodes);
    InstallHookProc(ProcB, WindowCodes);
    RemoveAllHookProcs();
    EXPECT_EQ(HookProcCount(), 0u);
    EXPECT_FALSE(HookInstalled(THookKind::hkCallWndProc));
}

TEST_F(Hooks, EachPointReachesTheProceduresThatAskedForIt) {
    InstallHookProc(ProcA, ButtonCodes);
    InstallHookProc(ProcB, WindowCodes);
    RaiseHookPoint(THookProcCode::hpMouseMovePosted, 7, 1, 0x00050004);
    RaiseHookPoint(THookProcCode::hpDestroyWindow, 8);
    RaiseHookPoint(THookProcCode::hpActivateApp, 9, 1);
    EXPECT_EQ(Calls, (std::vector<HookCall>{{'a', THookProcCode::hpMouseMovePosted, 7, 1, 0x00050004},
                                        {'b', THookProcCode::hpDestroyWindow, 8, 0, 0},
                                        {'a', THookProcCode::hpActivateApp, 9, 1, 0},
                                        {'b', THookProcCode::hpActivateApp, 9, 1, 0}}));
    // A procedure that unregisters another during a raise: the other is not called any more.
    Calls.clear();
    UninstallHookProc(ProcA);
    InstallHookProc(ProcA, ButtonCodes);  // now after B
    Unregister = ProcA;
    RaiseHookPoint(THookProcCode::hpActivateApp, 1, 0);
    EXPECT_EQ(Calls.size(), 1u);
    EXPECT_EQ(HookProcCount(), 1u);
}

TEST_F(Hooks, ApplicationActiveRaisesOnChangeOnly) {
    InstallHookProc(ProcA, ButtonCodes);
    EXPECT_FALSE(ApplicationIsActive());
    SetApplicationActive(true, 3);
    SetApplicationActive(true, 3);
    EXPECT_TRUE(ApplicationIsActive());
    SetApplicationActive(false, 3);
    EXPECT_EQ(Calls, (std::vector<HookCall>{{'a', THookProcCode::hpActivateApp, 3, 1, 0},
                                        {'a', THookProcCode::hpActivateApp, 3, 0, 0}}));
}

TEST_F(Hooks, TheWidgetsRaiseMovesPositionsAndDestruction) {
    InstallHookProc(ProcA, ButtonCodes);
    InstallHookProc(ProcB, WindowCodes);
    TWidgetForm form;
    form.SetBounds(0, 0, 50, 50);
    TWindowHandle child;
    {
        TWinControl control;
        child = control.Handle();
        EXPECT_NE(child, form.Handle());
        control.SetParent(&form);
        control.SetBounds(10, 10, 10, 10);
        form.DispatchMouseMove(12, 13);
        Calls.clear();
    }
    form.DispatchMouseMove(300, 2);  // outside every control: the form's
    EXPECT_EQ(Calls, (std::vector<HookCall>{{'b', THookProcCode::hpDestroyWindow, child, 0, 0},
                                        {'a', THookProcCode::hpMouseMovePosted, form.Handle(), 0, 0x0002012C}}));
    Calls.clear();
    form.SetBounds(5, 0, 50, 50);
    EXPECT_EQ(Calls, (std::vector<HookCall>{{'b', THookProcCode::hpWindowPosChanged, form.Handle(), 0, 0}}));
}

TEST(ListSort, StableByTheCompareWithItsData) {
    std::vector<std::pair<int, char>> items{{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {0, 'e'}};
    int calls = 0;
    ListSortEx(
        items,
        [](const std::pair<int, char>& A, const std::pair<int, char>& B, void* Data) {
            ++*static_cast<int*>(Data);
            return A.first - B.first;
        },
        &calls);
    EXPECT_EQ(items, (std::vector<std::pair<int, char>>{{0, 'e'}, {1, 'b'}, {1, 'd'}, {2, 'a'}, {2, 'c'}}));
    EXPECT_GT(calls, 0);
    std::vector<int> one{5};
    ListSortEx(one, [](int, int, void*) -> int { throw 1; }, nullptr);  // not compared at all
    EXPECT_EQ(one, std::vector<int>{5});
}

}  // namespace
