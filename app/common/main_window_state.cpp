// The main window's handle and the two flags its modal windows share with it.
#include "common/main_window_state.h"

HWND MainWindow;
int TerminateConfirmed;
bool QuitRequested;

void QuitIfRequested()
{
    if (QuitRequested)
        PostQuitMessage(0);
}
