#pragma once

#include <cstdint>

#include "framework/RuntimeServices.h"

// A bundled library carried inside the program as its exact bytes.
struct ComponentFile {
  const char* fileName;  // written into the library folder under this name
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// Writes the file into this run's library folder when it is missing, or when what
// is there is an earlier build's copy or no library at all; a copy the user put
// there is kept (RuntimeServices::WriteBundledLibrary). A failed write is not
// reported.
inline void WriteComponentFile(RuntimeServices& services, const ComponentFile& component) {
  services.WriteBundledLibrary(component.fileName, component.begin, component.end);
}
