// Message boxes: see message.h.
#include "common/message.h"
#include "common/main_window_state.h"
#include "common/text.h"
#include "resource_ids.h"

int ShowMessage(HWND owner, const char* text, UINT style)
{
    const int answer = MessageBoxA(owner, text, LoadText(IDS_TITLE), style);
    QuitIfRequested();
    return answer;
}

int ShowMessage(HWND owner, UINT textId, UINT style)
{
    return ShowMessage(owner, LoadText(textId), style);
}

bool AskYes(HWND owner, UINT textId, UINT style)
{
    return ShowMessage(owner, textId, style) == IDYES && !QuitRequested;
}
