// Whether a file or directory is there. Deletions are judged by this: Windows
// does not always report a refused one.
#pragma once
#include <windows.h>

inline bool FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
