// The program's module and its string loader, used by every layer above.
#pragma once
#include <windows.h>
#include "common/paths.h"

// Every resource, class and module-name call of the program uses this module.
extern HINSTANCE ProgramInstance;

// Text of string-table entry `id` in one of 16 rotating 512-byte slots: valid
// until 16 further calls, so a message's text and caption can be loaded one
// after the other and passed together.
const char* LoadText(UINT id);

// The program's own full file name into out (kPathSize bytes). False, out
// empty, when it could not be read or filled the buffer and may be cut.
bool OwnProgramFile(char* out);
