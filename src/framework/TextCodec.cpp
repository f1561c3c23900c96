#include "framework/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace {

// Converts with iconv; on an invalid or incomplete sequence skips one source byte
// and emits the replacement instead.
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement) {
  std::string out;
  if (input.empty()) return out;
  KeepTextConverterLoaded();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  out.reserve(input.size() * 3 / 2 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one bad byte, replaced, then carry on.
      out.append(replacement);
      ++in;
      --inLeft;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return out;
}

}  // namespace

// The descriptor that holds the module, never closed. Visible outside this file so that
// the compiler keeps it, and a leak checker finds it reachable.
extern iconv_t keptTextConverter;
iconv_t keptTextConverter = nullptr;

void KeepTextConverterLoaded() {
  [[maybe_unused]] static const bool opened = [] {
    keptTextConverter = iconv_open("UTF-8", "GB18030");
    return true;
  }();
}

std::string Utf8FromText(std::string_view text) {
  return Convert("UTF-8", "GB18030", text, "\xEF\xBF\xBD");
}

Text TextFromUtf8(std::string_view utf8) { return Convert("GB18030", "UTF-8", utf8, "?"); }

std::optional<std::string> ConvertStrictly(const char* to, const char* from,
                                           std::string_view input) {
  std::string out;
  if (input.empty()) return out;
  KeepTextConverterLoaded();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  out.reserve(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[16384];
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  if (ok) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);  // the final shift state
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, minimum = 0x80, value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, minimum = 0x800, value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, minimum = 0x10000, value = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}
