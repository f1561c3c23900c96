#pragma once

// A library of the system (libcurl, libsndfile) opened on first use rather than linked:
// a start that never fetches a page or writes an audio file maps none of it, nor what it
// drags in (a TLS stack, codecs). Opened by its soname through the loader's own search
// (its cache and the system folders; the program has no run-path), never closed.
// Returns the function, or null when the library or the function cannot be had.
void* SystemLibraryFunction(const char* soname, const char* function);

// Sets `slot` (a function pointer) to the library's function of that name; false when
// it cannot be had.
template <typename Function>
bool BindSystemFunction(Function& slot, const char* soname, const char* function) {
  slot = reinterpret_cast<Function>(SystemLibraryFunction(soname, function));
  return slot != nullptr;
}
