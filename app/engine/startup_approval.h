// Windows' own start-up switch. Windows 8 and later let a person switch a
// start-up program off (Task Manager, Settings > Apps > Startup) without
// touching its Run value: the choice is recorded beside it, as a binary value
// named like the Run value under Explorer's StartupApproved keys, "Run" and,
// for a 32-bit program's machine value, "Run32". Pure logic.
#pragma once
#include <cstddef>

constexpr const char kApprovedRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const char kApprovedRun32Key[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";

enum class ApprovedRecord { None, On, Off };

// One record from its bytes; no bytes is no record, which Windows runs.
ApprovedRecord ReadApprovedRecord(const unsigned char* data, size_t size);

// One Run value (the machine's or the person's) and Windows' records for it.
struct RunValueState {
    bool exists;
    ApprovedRecord run;
    ApprovedRecord run32;
};

// A Run value of ours is there and Windows has switched every one off, so it
// starts nothing at sign-in whatever the stored option says.
bool SwitchedOffByWindows(const RunValueState& machine, const RunValueState& person);
