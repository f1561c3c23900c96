#pragma once

#include <string>

// Where the bundled libraries live for this run, decided once from where the
// executable really is (/proc/self/exe, links resolved). Only a trusted folder
// (TrustedPaths.h) is ever used, and always by its absolute path:
//  - installed: <folder>/../lib/orvane-notepad holds all of them. Nothing is written.
//  - the program's folder when it may be written to (a build folder, a portable
//    copy), or when it already holds all of them.
//  - otherwise a per-user cache folder named after this build,
//    $XDG_CACHE_HOME/orvane-notepad/<build id> (~/.cache when unset).
struct LibraryPlace {
  std::string folder;       // absolute; empty when no trusted folder could be had
  bool writeThere = false;  // whether missing libraries are written into it
  std::string refused;      // without a folder: the path that is not safe, if any
};

// The names of the bundled libraries.
inline constexpr const char* kBundledLibraryNames[] = {"bass.dll", "speex.dll", "msc.dll",
                                                       "CameraDll.dll"};

// The decision for a program whose real folder is programFolder (empty when
// unknown), with cacheFolder as the last resort (creates nothing, and does not check
// the cache folder, which may not exist yet).
LibraryPlace DecideLibraryPlace(const std::string& programFolder, const std::string& cacheFolder);

// This build's cache folder for this user; empty when the home folder is unknown.
std::string LibraryCacheFolder(const std::string& buildId);

// This process's place: decided on the first call, the cache folder created then.
const LibraryPlace& CurrentLibraryPlace();

// The executable's GNU build id in hex, or the version and the executable's size
// and time when it has none.
std::string ProgramBuildId();
