#pragma once

#include <string>

// Binding of a bundled library's functions by name on their first call. The
// library is opened only by its absolute path in this run's library folder
// (LibraryPlace.h), never through the system's search, and only when the file is
// trusted (TrustedPaths.h) and can be a library for this machine. A library or
// function that cannot be had is a fatal run-time error: the designed text, then
// one line that says what to do (which file to delete to get the built one back).
void* BindLibraryFunction(const char* library, const char* function);

// The run-time error text naming the library and the function.
std::string MissingFunctionMessage(const char* library, const char* function);

// Overrides the library folder (tests); empty restores the run's library folder.
void SetLibraryDirectoryForTesting(const std::string& directory);
