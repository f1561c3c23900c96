#pragma once

#include <cstdint>

#include "framework/Types.h"

// The bundled libraries: put in place, bound at run time, their memory read.
class Libraries {
 public:
  virtual ~Libraries() = default;

  // Puts a bundled library's bytes under its file name into this run's library
  // folder (nothing when the libraries are installed): written when missing, and
  // replaced when an earlier build wrote it or when it cannot be a library at all;
  // a copy the user put there is kept. Failures are not reported.
  virtual void WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                   const std::uint8_t* end) = 0;
  // The address of a bundled library's function, the library looked for in the
  // program's folder first, then through the system's search. A library or
  // function that cannot be found is fatal: the run-time error box, status 255.
  virtual void* LibraryFunctionAddress(const char* library, const char* function) = 0;
  // A copy of length bytes at the address (memory handed out by a library).
  virtual ByteBuffer BytesFromMemory(const void* address, int length) = 0;
};
