// QtRuntimeServices: the bundled libraries put in place and bound, their memory read.
#include "framework/qt/QtRuntimeServices.h"

#include "framework/platform/BundledLibraries.h"
#include "framework/platform/LibraryBinding.h"
#include "framework/platform/LibraryPlace.h"

void QtRuntimeServices::WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                            const std::uint8_t* end) {
  const LibraryPlace& place = CurrentLibraryPlace();
  if (place.writeThere) InstallBundledLibrary(place.folder, fileName, begin, end);
}

void* QtRuntimeServices::LibraryFunctionAddress(const char* library, const char* function) {
  return BindLibraryFunction(library, function);
}

ByteBuffer QtRuntimeServices::BytesFromMemory(const void* address, int length) {
  if (!address || length <= 0) return ByteBuffer();
  const auto* bytes = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(bytes, bytes + length);
}
