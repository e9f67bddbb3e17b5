// The property sheet frame: a modal sheet built from a page table, centred
// once per opening, and what its pages share.
#pragma once
#include <windows.h>
#include <prsht.h>

struct PageTableEntry {
    DWORD templateId;  // 0 ends the table
    DWORD titleId;
    DWORD iconId;
    DLGPROC procedure;
};

extern HWND SheetWindow;
extern HWND PendingCentreWindow;

INT_PTR RunPropertySheet(HWND parent, const char* caption, UINT startPage, PFNPROPSHEETCALLBACK callback,
                         const PageTableEntry* pages, int propTitle, int help, int modeless);
int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
void CentreIfPending();
void CentreOnScreen(HWND window);
// OK hidden, Cancel relabelled "Hide Tapwise" and widened 40 pixels leftwards.
void SetUpSheetButtons();
INT_PTR AnswerKillActive(HWND page);
INT_PTR AnswerApply(HWND page);
// The answers every page gives to the sheet's notifications.
INT_PTR AnswerSheetNotify(HWND page, LPARAM lParam);
// Keeps the page's controls inside the page as the sheet sized it.
void FitControlsToPage(HWND page);
// The brush under a static text that a page colours itself, painting the
// page's own background beneath it where the page has one.
HBRUSH TextBackgroundOnPage(HWND page, HWND control, HDC dc);
