#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/Types.h"

// Whole-file operations on native (UTF-8) paths. None of them throws.

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

bool PathExists(const std::string& path);
