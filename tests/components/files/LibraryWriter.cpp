// Installs the library image in a file as a bundled library, the way the program
// writes its own: LibraryWriter FOLDER NAME IMAGE_FILE.
#include "framework/platform/BundledLibraries.h"
#include "framework/platform/WholeFiles.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const ByteBuffer image = ReadWholeFile(argv[3]);
  InstallBundledLibrary(argv[1], argv[2], image.data(), image.data() + image.size());
  return 0;
}
