// Setup under User Account Control: asking for administrator rights, and the
// tray copy started with the signed-in person's own token.
#pragma once
#include <windows.h>
#include "setup/elevation_plan.h"

// The plan for this copy's token and origin.
SetupPlan OwnSetupPlan();
// Starts this file again with the same switches through the "runas" verb
// and waits for that copy; whenSignalled runs each time the copy asks this
// one to start the installed program (restart: the copy that ran before a
// failed install). False, with *declined set when the person said no to the
// prompt, if no copy was started.
bool RunElevatedCopy(const char* tail, void (*whenSignalled)(bool restart), DWORD* exitCode, bool* declined);
// A copy asked for by a limited one lets that copy start the installed program.
void SignalRequester(bool restart);
// Starts the installed copy through the desktop shell, with the shell's
// token rather than ours; false when the shell does not offer that.
bool StartThroughDesktopShell(const char* program, const char* parameters);
