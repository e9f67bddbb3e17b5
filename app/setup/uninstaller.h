// The uninstall run: two questions, then every piece of the installation goes.
#pragma once

// The uninstall run's exit code; tail as for InstallSelf.
int UninstallSelf(const char* tail);
// Deletes the files of directory that the removal rules allow. stayed, when
// not null, gains the kStayedFiles bits of the tracked files that stay,
// neither deleted nor scheduled for the restart. 0 for no directory.
int RemoveInstallDirectory(const char* directory, unsigned* stayed = nullptr);
