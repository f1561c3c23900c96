#include "support/FakeRuntimeServices.h"

#include "framework/platform/LibraryBinding.h"

void* FakeRuntimeServices::LibraryFunctionAddress(const char* library, const char* function) {
  std::lock_guard lock(mutex_);
  SetLibraryDirectoryForTesting(programDirectory);
  return BindLibraryFunction(library, function);
}

void FakeRuntimeServices::WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                              const std::uint8_t* end) {
  std::lock_guard lock(mutex_);
  Record(BundledLibraryCall{fileName});
  files_.try_emplace(programDirectory + "/" + fileName, begin, end);
}

ByteBuffer FakeRuntimeServices::BytesFromMemory(const void* address, int length) {
  std::lock_guard lock(mutex_);
  if (!address || length <= 0) return ByteBuffer();
  const auto* bytes = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(bytes, bytes + length);
}
