// Windows' start-up switch: what its records say and whether Windows will
// start the program at sign-in, for each place a Run value of ours may be.
#include <gtest/gtest.h>

#include "engine/startup_approval.h"

namespace {

using R = ApprovedRecord;

TEST(ReadApprovedRecord, TakesTheSwitchFromTheFirstByte) {
    const unsigned char on2[12] = {2}, on6[12] = {6}, off3[12] = {3, 0, 0, 0, 0x10, 0x20};
    EXPECT_EQ(R::On, ReadApprovedRecord(on2, sizeof on2));
    EXPECT_EQ(R::On, ReadApprovedRecord(on6, sizeof on6));
    EXPECT_EQ(R::Off, ReadApprovedRecord(off3, sizeof off3));
    EXPECT_EQ(R::Off, ReadApprovedRecord(off3, 1));  // cut short: the switch is all that counts
    EXPECT_EQ(R::None, ReadApprovedRecord(off3, 0));
    EXPECT_EQ(R::None, ReadApprovedRecord(nullptr, 12));
}

TEST(SwitchedOffByWindows, FollowsEveryRunValueThatIsThere) {
    const RunValueState none = {false, R::None, R::None};
    struct Case {
        const char* what;
        RunValueState machine, person;
        bool off;
    } cases[] = {
        {"no Run value", none, none, false},
        {"a record without its value starts nothing anyway", {false, R::Off, R::Off}, {false, R::Off, R::None}, false},
        {"machine value, no record", {true, R::None, R::None}, none, false},
        {"machine value switched on", {true, R::On, R::None}, none, false},
        {"machine value switched off (64-bit view, Run32)", {true, R::None, R::Off}, none, true},
        {"machine value switched off in Run", {true, R::Off, R::None}, none, true},
        {"person's value switched off", none, {true, R::Off, R::None}, true},
        {"person's value switched on", none, {true, R::On, R::None}, false},
        {"machine off, person's on", {true, R::None, R::Off}, {true, R::On, R::None}, false},
        {"machine on, person's off", {true, R::On, R::None}, {true, R::Off, R::None}, false},
        {"both off", {true, R::Off, R::None}, {true, R::Off, R::None}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.off, SwitchedOffByWindows(c.machine, c.person)) << c.what;
}

}  // namespace
