#pragma once

#include <string>

// Where the bundled libraries live for this run, decided once from the program's
// folder:
//  - installed: <folder>/../lib/orvane-notepad holds all of them. Nothing is
//    written; binding finds them through the executable's run-path.
//  - the program's folder when it may be written to (a build folder, a portable
//    copy), or when it already holds all of them.
//  - otherwise a per-user cache folder named after this build,
//    $XDG_CACHE_HOME/orvane-notepad/<build id> (~/.cache when unset).
struct LibraryPlace {
  std::string searchFirst;  // looked in before the system's library search
  bool writeThere = false;  // whether missing libraries are written into searchFirst
};

// The names of the bundled libraries.
inline constexpr const char* kBundledLibraryNames[] = {"bass.dll", "speex.dll", "msc.dll",
                                                       "CameraDll.dll"};

// The decision for a program in programFolder (no caching, creates nothing).
LibraryPlace DecideLibraryPlace(const std::string& programFolder, const std::string& buildId);

// This process's place: decided on the first call, the cache folder created then.
const LibraryPlace& CurrentLibraryPlace();

// The executable's GNU build id in hex, or the version and the executable's size
// and time when it has none.
std::string ProgramBuildId();
