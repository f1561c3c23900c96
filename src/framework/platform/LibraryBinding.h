#pragma once

#include <string>

// Binding of a bundled library's functions by name on their first call. The
// library is looked for in this run's library folder first (LibraryPlace.h), then
// through the system's search, which includes the executable's run-path. A library or function that
// cannot be found is a fatal run-time error.
void* BindLibraryFunction(const char* library, const char* function);

// The run-time error text naming the library and the function.
std::string MissingFunctionMessage(const char* library, const char* function);

// Overrides the folder searched first (tests); empty restores the run's library folder.
void SetLibraryDirectoryForTesting(const std::string& directory);
