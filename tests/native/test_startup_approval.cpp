// Windows' start-up switch: its records, and whether Windows starts the program from the Run values there.
#include <gtest/gtest.h>

#include <vector>

#include "engine/startup_approval.h"

TEST(StartupApproval, RecordsAndWhatWindowsStarts) {
    using R = ApprovedRecord;
    const unsigned char on2[12] = {2}, on6[12] = {6}, off3[12] = {3, 0, 0, 0, 0x10};
    EXPECT_EQ((std::vector<R>{R::On, R::On, R::Off, R::None, R::None}),
              (std::vector<R>{ReadApprovedRecord(on2, 12), ReadApprovedRecord(on6, 12), ReadApprovedRecord(off3, 1),
                              ReadApprovedRecord(off3, 0), ReadApprovedRecord(nullptr, 12)}));
    const RunValueState none = {false, R::None, R::None}, off = {true, R::Off, R::None}, on = {true, R::On, R::None},
                        off32 = {true, R::None, R::Off}, unseen = {true, R::None, R::None};
    const struct {
        RunValueState machine, person;
        bool switchedOff;
    } cases[] = {{none, none, false}, {{false, R::Off, R::Off}, none, false},  // no value, or a record alone
                 {unseen, none, false}, {on, none, false},  {off32, none, true}, {off, none, true},  // machine-wide
                 {none, off, true},     {none, on, false},  {off32, on, false},  {on, off, false}, {off, off, true}};
    for (const auto& c : cases)
        EXPECT_EQ(c.switchedOff, SwitchedOffByWindows(c.machine, c.person)) << "case " << (&c - cases);
}
