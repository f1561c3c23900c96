#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether the bytes can be a shared library for this machine, judged from the ELF
// header and the program headers before anything is mapped: mapping a truncated
// library would end the process with SIGBUS, and an empty or foreign one only fails
// with a loader message. Empty when it can; otherwise a short English reason
// ("empty", "truncated", "not an ELF file", "built for another machine", ...).
// It says nothing about which functions the library has.
std::string LibraryImageProblem(const std::uint8_t* bytes, std::size_t size);

// The same for a file (its whole content); a file that cannot be read is a problem.
std::string LibraryFileProblem(const std::string& path);
