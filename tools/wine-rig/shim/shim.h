/* TWRIG.dll: what the shim's parts share. See shim.c for what the shim is. */
#pragma once
#include <windows.h>

/* Decided once, when the shim is loaded: the process's token is not
 * elevated (the limited half of a split token, or a token without the
 * Administrators group), so Windows would virtualize a 32-bit program that
 * asks for no execution level. */
extern BOOL twVirtualized;
extern CRITICAL_SECTION twLock;

void TwRegistryInit(void);
void TwFilesInit(void);
void TwFilterRelease(void);
BOOL TwIsPrefix(const char* text, const char* prefix);
