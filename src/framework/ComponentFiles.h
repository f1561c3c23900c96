#pragma once

#include <cstdint>

#include "framework/Libraries.h"

// A bundled library carried inside the program as its exact bytes.
struct ComponentFile {
  const char* fileName;  // written into the library folder under this name
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// Writes the file into this run's library folder when it is missing, or when what
// is there is an earlier build's copy or no library at all; a copy the user put
// there is kept (Libraries::WriteBundledLibrary). A failed write is not
// reported.
inline void WriteComponentFile(Libraries& libraries, const ComponentFile& component) {
  libraries.WriteBundledLibrary(component.fileName, component.begin, component.end);
}
