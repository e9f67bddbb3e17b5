// The install run: the program is its own installer.
#pragma once
#include <windows.h>
#include <cstddef>

// The install run's exit code. tail: the command tail, so that a copy asked
// for with administrator rights is started with the same switches.
int InstallSelf(const char* tail);
// The directory the installer uses ("ProgramFilesDir" or its default, plus "Tapwise").
bool InstallTargetDirectory(char* out, size_t size);
// TWUninst.exe in the Windows directory (out: kPathSize bytes); false if it would not fit.
bool UninstallerPath(char* out);
// Writes the library resource to target; an older library held mapped by
// other processes is moved aside and deleted at the next restart. 0 when the
// new library could not be put in place.
int InstallLibrary(const char* target);
void ExtractResourceToFile(const char* type, int id, const char* target);
