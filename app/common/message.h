// Message boxes titled with the program's name. A box runs its own loop,
// which may take a quit posted meanwhile: it is posted again.
#pragma once
#include <windows.h>

int ShowMessage(HWND owner, const char* text, UINT style);
int ShowMessage(HWND owner, UINT textId, UINT style);
// Yes only while no quit is pending: a copy asked to close never goes on to
// act on the answer.
bool AskYes(HWND owner, UINT textId, UINT style);
