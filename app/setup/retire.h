// Files in use at setup: Windows deletes a file at the next start by its
// path, whatever lies there by then, so a file in use is first moved aside to
// a name no install uses again and only that name is left to the restart.
#pragma once
#include <cstddef>

enum class Retired { Gone, AtRestart, Stays };
// Deletes file, or moves it aside within its directory and has the moved
// file deleted at the next start. Stays when neither could be done; judged by
// what is there afterwards, since a refused deletion is not always reported.
Retired RetireFile(const char* file);
// Moves file aside within its directory (aside: MAX_PATH bytes); false,
// with nothing changed, when that is refused.
bool MoveAside(const char* file, char* aside);
// Has path (a moved-aside file, or a directory emptied by then) deleted at
// the next start; false where the system offers no way.
bool DeleteAtRestart(const char* path);
// An install puts files back where an earlier removal left deletions due at
// the next start: those deletions are dropped.
void CancelDeletionsAtRestart(const char* const* paths, size_t count);
