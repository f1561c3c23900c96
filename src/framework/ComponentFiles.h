#pragma once

#include <cstdint>

#include "framework/RuntimeServices.h"

// A bundled library carried inside the program as its exact bytes.
struct ComponentFile {
  const char* fileName;  // written into the library folder under this name
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// The file beside the written libraries that records, one line per library in
// sha256sum's format, the bytes this program wrote there.
inline constexpr char kLibraryStampName[] = "bundled-libraries.sha256";

// Writes the file into the services' library folder (nothing at all when that is
// empty: the libraries are installed). A missing file is written; an existing one
// is replaced only while its bytes are still exactly those recorded in the stamp
// and differ from this build's, i.e. an earlier build wrote it and nobody changed
// it since. Anything else there (a copy the user put or changed, even an empty
// one) is kept. Writes go through a temporary name, so an interrupted write never
// leaves a broken library under the final name. A failed write is not reported.
void WriteComponentFile(RuntimeServices& services, const ComponentFile& component);

// The SHA-256 of the bytes as 64 lowercase hex digits.
std::string Sha256Hex(const std::uint8_t* begin, const std::uint8_t* end);
