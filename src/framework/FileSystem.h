#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "framework/FileProblem.h"
#include "framework/Types.h"

// What became of a new private file.
enum class PrivateFileCreation {
  Created,
  Taken,   // something has that name already: nothing was written
  Failed,  // the folder cannot be written, the disk is full ...
};

// Files and folders: open files read and written in pieces, whole files, the user's
// files saved safely, the program's own folders and the private copies of unsaved text.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // --- Open files -------------------------------------------------------------
  // Modes: 1 read (must exist), 2 write (must exist), 3 read and write (must
  // exist), 4 write (created, emptied), 5 write (created if missing), 6 read and
  // write (created if missing). Sharing: 1 others may do anything, 2 others may
  // not read, 3 others may not write, 4 neither. The file number, 0 on failure.
  virtual int OpenFile(const Text& path, int mode = 3, int sharing = 1) = 0;
  // Reads up to count bytes (default: the file's length) as text, ending before a
  // zero byte, a byte 0x1A, or a lead byte followed by a zero byte; the file
  // position is then left on that byte. Empty on failure (position at the end).
  virtual Text ReadText(int file, std::optional<int> count = std::nullopt) = 0;
  // Writes each value's text form; on failure the position goes back to where
  // the call began and the result is false.
  virtual bool WriteText(int file, const std::vector<Value>& values) = 0;
  virtual void CloseFile(int file) = 0;

  // --- Whole files ----------------------------------------------------------
  virtual bool FileExists(const Text& path) = 0;
  // The whole file, or the empty buffer when it cannot be read.
  virtual ByteBuffer ReadFileBytes(const Text& path) = 0;
  // The whole file when it is a regular file of at most maximumSize bytes; nothing
  // otherwise (a FIFO or device is never waited on) or when it cannot be read.
  virtual std::optional<ByteBuffer> ReadRegularFile(const Text& path,
                                                    std::uint64_t maximumSize) = 0;
  // Creates or empties the file and writes the buffers in order; false on any failure.
  virtual bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Writes a new file through a temporary file in the same folder that takes the
  // name only once complete: false if the name exists already or anything fails.
  virtual bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Replaces (or creates) the file the same way, keeping its permission bits; on
  // any failure the old file is left as it was.
  virtual bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;

  // --- The user's files -------------------------------------------------------
  // Why the calling thread's last failed file operation failed (OpenFile,
  // ReadRegularFile, the writes); meaningful only right after a failure.
  virtual FileProblem LastFileProblem() = 0;
  // Whether both paths lead to one existing file (device and inode, after links).
  virtual bool IsSameFile(const Text& first, const Text& second) = 0;
  // Saves a file of the user's as ReplaceFileBytes does, and keeps its owner, group and
  // other hard links (writing it in place, after a copy of the old bytes beside it, where
  // a replacement could not); follows a link only where the kernel's protection of links
  // in shared folders would. From a worker that is asked to stop, a replacement under
  // way is abandoned and the old file kept.
  virtual bool SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;

  // --- The program's folders ------------------------------------------------
  // The folder of the running program, without a trailing separator.
  virtual Text ProgramDirectory() = 0;
  // The program's private folder for files kept across runs (recovery copies):
  // $XDG_STATE_HOME/orvane-notepad, ~/.local/state/orvane-notepad without it, created
  // with mode 0700 when missing. Empty when it cannot be made.
  virtual Text StateDirectory() = 0;
  // $XDG_CONFIG_HOME/orvane-notepad (~/.config/orvane-notepad), where the settings file
  // and the pronunciation list live; made when missing.
  virtual Text ConfigDirectory() = 0;

  // --- Copies of unsaved text (autosave and recovery) --------------------------
  // Makes the folder (missing parents too) and checks that it is the user's own, not a
  // symbolic link, and mode 0700 (made so); the folder, or empty when it is unusable.
  virtual Text PrivateFolder(const Text& folder) = 0;
  // The private folder used when the state folder cannot be written: under
  // $XDG_RUNTIME_DIR, else in the temporary directory. Empty when none can be made.
  virtual Text FallbackDirectory() = 0;
  // Writes a new file of mode 0600 that takes its name only once complete. Taken when
  // anything has the name (a dangling symbolic link too: it is never followed).
  virtual PrivateFileCreation CreatePrivateFile(const Text& path,
                                                const std::vector<ByteBuffer>& buffers) = 0;
  // Replaces (or creates) the file the same way; a symbolic link at the name is
  // replaced, not followed. On failure the old file is as it was.
  virtual bool ReplacePrivateFile(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // The names of the regular files in the folder.
  virtual std::vector<Text> FilesInFolder(const Text& folder) = 0;
  // Removes the file (not a folder); false when it could not be removed.
  virtual bool RemoveFile(const Text& path) = 0;
};
