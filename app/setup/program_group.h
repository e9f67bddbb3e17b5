// The program group: links in the Start menu of all users, or over DDE where
// the shell has no such folder.
#pragma once
#include "common/paths.h"

// 1 when all three links (or the DDE commands) went.
int CreateProgramGroup(const char* program, const char* readme, const char* uninstaller, const char* uninstallCommand);
// The kStayedLinks bits of the group's links and folder that stay.
unsigned DeleteProgramGroup();
// The group's folder (out: kPathSize bytes; "" and false if the shell has none)
// and its links' paths, indexed by StayedLink.
bool ProgramGroupFolder(char* out);
void ProgramGroupLinkPaths(const char* folder, char (*paths)[kPathSize]);
int CreateProgramGroupOverDde(const char* program, const char* readme, const char* uninstaller,
                              const char* uninstallCommand);
int DeleteProgramGroupOverDde();
