// The text ring behind LoadText. Only the user-interface thread loads texts,
// so the ring needs no lock.
#include "common/text.h"

HINSTANCE ProgramInstance;

namespace {
constexpr int kSlotCount = 16;
constexpr int kSlotSize = 512;
char textSlots[kSlotCount][kSlotSize];
int ringIndex = 0;
}

const char* LoadText(UINT id)
{
    // Advanced before use: the first call after start-up fills slot 1.
    if (++ringIndex >= kSlotCount)
        ringIndex = 0;
    char* slot = textSlots[ringIndex];
    // An id without an entry yields an empty text rather than the slot's old one.
    if (LoadStringA(ProgramInstance, id, slot, kSlotSize) <= 0)
        slot[0] = '\0';
    return slot;
}

bool OwnProgramFile(char* out)
{
    const DWORD length = GetModuleFileNameA(ProgramInstance, out, kPathSize);
    if (length > 0 && length < kPathSize - 1)
        return true;
    out[0] = '\0';
    return false;
}
