#pragma once

// Why a file operation failed, as the user is told it.
enum class FileProblem {
  None,
  NotFound,            // the file or a folder on its path does not exist
  NoPermission,        // the file or its folder may not be read or written
  DiskFull,            // no space left (or the user's quota is used up)
  ReadOnlyFileSystem,  // the file system is mounted read-only
  NotRegularFile,      // a folder, FIFO, device or socket
  TooLarge,            // larger than the program reads
  LinkRefused,         // a link another user planted in a shared folder
  InUse,               // another open holds the file for exclusive use
  NotText,             // the bytes are no script (a zero character, broken UTF-16)
  InputOutput,         // the device reported an error
  NameTooLong,         // the path or a name on it is too long
  Other,
};
