// What the main window shares with the modal windows opened over it (message
// boxes, the statistics window): its handle, the remembered quit and the
// Terminate confirmation. The main window sets them; the pages only read or
// clear them, so they need not know the main window's module.
#pragma once
#include <windows.h>

extern HWND MainWindow;
// 1 once Terminate has been confirmed twice; cleared at each opening of the
// statistics window, so that the next Terminate asks again.
extern int TerminateConfirmed;
// Set once the main window has been asked to close: modal loops that swallow
// the quit message hand it on (see QuitIfRequested).
extern bool QuitRequested;

// Re-posts the quit when a modal loop may have eaten it.
void QuitIfRequested();
