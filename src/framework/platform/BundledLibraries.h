#pragma once

#include <cstdint>
#include <string>

// The file beside the written libraries that records, in sha256sum's format, the
// bytes this program wrote there: one line per library, two while one is being
// replaced (the old bytes and the new).
inline constexpr char kLibraryStampName[] = "bundled-libraries.sha256";
// Beside it, what the last full comparison of each library with the built bytes found
// (the file's device, inode, size and change time): an unchanged file is not read again.
inline constexpr char kLibraryCheckName[] = "bundled-libraries.checked";

// Puts this build's bytes of a bundled library under folder/name:
//  - a missing library is written;
//  - one whose bytes the stamp records (an earlier build wrote it and nobody changed
//    it since) is replaced;
//  - one that cannot be a library for this machine (empty, truncated, another
//    architecture) is replaced too, and kept beside it as NAME.damaged;
//  - anything else there (a copy the user put or changed) is kept.
// The folder is locked meanwhile, so that programs starting at once take turns, and
// the stamp names the new bytes before the library changes: a kill at any moment
// leaves a library that is either the old or the new one, recorded as ours. Writes
// go through a temporary name; a failure is not reported.
void InstallBundledLibrary(const std::string& folder, const std::string& name,
                           const std::uint8_t* begin, const std::uint8_t* end);

// The SHA-256 of the bytes as 64 lowercase hex digits.
std::string Sha256Hex(const std::uint8_t* begin, const std::uint8_t* end);
