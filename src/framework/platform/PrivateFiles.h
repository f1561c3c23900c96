#pragma once

#include <string>
#include <vector>

#include "framework/Types.h"

// Files only the user may read, for copies of unsaved text (autosave and recovery
// copies). Nothing here follows a symbolic link at a file's name, and no file is
// ever readable by others, whatever the folder's mode or the umask.

// Makes the folder (and missing parents, 0700) and checks that it is a real folder,
// not a symbolic link, owned by this user, and mode 0700 (it is made so when it is
// ours); false when it cannot be used.
bool MakePrivateFolder(const std::string& folder);

// The folder used when the state folder cannot be written: orvane-notepad under
// $XDG_RUNTIME_DIR, else orvane-notepad-UID in the temporary directory, else a new
// folder there with a random name. Decided once per process; empty when none works.
std::string FallbackFolder();

enum class PrivateCreation { Created, Taken, Failed };

// Writes a new file of mode 0600 through a temporary file (O_EXCL|O_NOFOLLOW) in the
// same folder that is flushed and only then linked to the name. Any entry of that
// name, a dangling symbolic link too, leaves it Taken and untouched.
PrivateCreation CreatePrivateFile(const std::string& path, const std::vector<ByteBuffer>& buffers);

// Replaces the file the same way, by renaming: a symbolic link at the name is
// replaced, never followed. On failure the old file is as it was.
bool ReplacePrivateFile(const std::string& path, const std::vector<ByteBuffer>& buffers);

// The names of the regular files in the folder (symbolic links are not listed).
std::vector<std::string> RegularFilesIn(const std::string& folder);

// Whether a process with that id runs the same program file as this one.
bool IsSameProgramRunning(int processId);
