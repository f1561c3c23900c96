#pragma once

#include <cstdint>

#include "framework/RuntimeServices.h"

// A bundled library carried inside the program as its exact bytes.
struct ComponentFile {
  const char* fileName;  // written into the program's folder under this name
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// Writes the file into the program's folder unless a file of that name is there
// already; an existing file is never overwritten, whatever its content. The write
// goes through a temporary name, so an interrupted write never leaves a broken
// library under the final name. A failed write is not reported.
void WriteComponentFile(RuntimeServices& services, const ComponentFile& component);
