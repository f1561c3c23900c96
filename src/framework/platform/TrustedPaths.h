#pragma once

#include <string>

// Whether anyone but this user (and root) could have changed a file the program is
// about to run code from. A path is trusted when it and every folder above it belong
// to this user or to root and none of them can be written by group or others; a
// folder above may be world-writable only when it is sticky (as /tmp is), where
// nobody else can rename or remove what is ours. Links are followed: the real path
// is what is checked.

// Empty when the folder (or regular file) is trusted; otherwise the first path on
// the way that someone else could change, or the path itself when it is missing or
// of the wrong kind.
std::string UntrustedPartOfFolder(const std::string& folder);
std::string UntrustedPartOfFile(const std::string& file);

// The user's home folder: $HOME when it is an absolute path, else the password
// database's entry for this user; empty when neither is known.
std::string HomeFolder();
