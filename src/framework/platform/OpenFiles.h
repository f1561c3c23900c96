#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/Types.h"

// Files opened by number and read or written as text, without any translation of
// line ends or code page. Sharing is honoured among the files this process opens:
// Linux has no mandatory sharing, so the rules are kept in a table of our own
// (an advisory scheme that other programs do not see).
class OpenFiles {
 public:
  OpenFiles() = default;
  ~OpenFiles();
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

  // Mode 1..6 and sharing 1..4 as RuntimeServices::OpenFile; 0 on failure.
  int Open(const std::string& nativePath, int mode, int sharing);
  Text ReadText(int file, std::optional<int> count);
  bool WriteText(int file, const std::vector<Text>& texts);
  void Close(int file);
  // The file position, -1 for an unknown number (tests).
  long long Position(int file);

 private:
  struct Entry {
    int fd = -1;
    unsigned long long device = 0, inode = 0;
    bool reads = false, writes = false;
    bool deniesRead = false, deniesWrite = false;
  };

  std::mutex mutex_;
  std::map<int, Entry> files_;
  int next_ = 1;
};
