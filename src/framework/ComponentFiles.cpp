#include "framework/ComponentFiles.h"

#include <openssl/evp.h>

#include <map>
#include <sstream>

namespace {

using Stamp = std::map<std::string, std::string>;  // file name -> SHA-256 hex

Stamp ReadStamp(const ByteBuffer& bytes) {
  Stamp stamp;
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string hash, name;
  // "<hash>  <name>"; the name has no blanks (our own library names).
  while (lines >> hash >> name) stamp[name] = hash;
  return stamp;
}

ByteBuffer StampBytes(const Stamp& stamp) {
  std::string text;
  for (const auto& [name, hash] : stamp) text += hash + "  " + name + "\n";
  return ByteBuffer(text.begin(), text.end());
}

}  // namespace

std::string Sha256Hex(const std::uint8_t* begin, const std::uint8_t* end) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(begin, static_cast<std::size_t>(end - begin), digest, &length, EVP_sha256(),
                  nullptr))
    return std::string();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

void WriteComponentFile(RuntimeServices& services, const ComponentFile& component) {
  const Text folder = services.LibraryDirectory();
  if (folder.empty()) return;
  const Text path = folder + "/" + component.fileName;
  const Text stampPath = folder + "/" + kLibraryStampName;
  const std::string ours = Sha256Hex(component.begin, component.end);
  Stamp stamp = ReadStamp(services.ReadFileBytes(stampPath));
  const auto recorded = stamp.find(component.fileName);
  const ByteBuffer bytes(component.begin, component.end);

  bool written = false;
  if (!services.FileExists(path)) {
    written = services.CreateFileBytes(path, {bytes});
  } else if (recorded != stamp.end() && recorded->second != ours) {
    // Written by an earlier build: replace it unless someone changed it since.
    const ByteBuffer present = services.ReadFileBytes(path);
    if (Sha256Hex(present.data(), present.data() + present.size()) == recorded->second)
      written = services.ReplaceFileBytes(path, {bytes});
  }
  if (!written) return;
  stamp[component.fileName] = ours;
  services.ReplaceFileBytes(stampPath, {StampBytes(stamp)});
}
