#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/Types.h"

// Whole-file operations on native (UTF-8) paths. None of them throws; after a failure
// LastFileProblem() (framework/platform/FileProblems.h) says why.

// The whole file when it is a regular file of at most maximumSize bytes; nothing
// otherwise or when it cannot be read. A FIFO or device is never waited on.
std::optional<ByteBuffer> ReadRegularFile(const std::string& path, std::uint64_t maximumSize);

// The whole regular file; empty when the path is empty or the file cannot be read.
ByteBuffer ReadWholeFile(const std::string& path);

// Creates the file or empties an existing one, then writes the buffers in order.
// The file is locked for exclusive use among our own opens while it is written.
bool WriteWholeFile(const std::string& path, const std::vector<ByteBuffer>& buffers);

// Writes the buffers to a temporary file in the same folder, flushes it to disk and
// only then gives it the final name, so that a crash or a full disk never leaves a
// half-written file under that name.
//  - replaceExisting false: the file is created only if no file of that name
//    exists (false otherwise); an existing file is never touched.
//  - replaceExisting true: an existing file is replaced and its permission bits
//    are kept; on any failure it stays as it was.
// The temporary file (.NAME.tmp-N) has the final permission bits before its first
// byte; a successful write removes the ones that killed writes of NAME left behind.
bool WriteFileAtomically(const std::string& path, const std::vector<ByteBuffer>& buffers,
                         bool replaceExisting);

// Saves the user's file. As WriteFileAtomically with replaceExisting, and:
//  - a symbolic link is followed only where protected links would be followed (see
//    FollowLinksSafely in the source): one planted by another user in a shared
//    folder is refused;
//  - the file keeps its owner and group, and its other hard links: when a new file
//    cannot keep them, or the folder refuses the rename (a sticky folder), a writable
//    file is written in place after a copy of its old bytes beside it (NAME~), which
//    goes once the new bytes are on disk;
//  - keepGoing, asked between pieces of a replacement, cancels it (old file kept).
bool SaveUserFile(const std::string& path, const std::vector<ByteBuffer>& buffers,
                  const std::function<bool()>& keepGoing = {});

// Whether both paths lead to one existing file (device and inode, after links).
bool IsSameFile(const std::string& first, const std::string& second);

bool PathExists(const std::string& path);
