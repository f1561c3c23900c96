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

std::string Utf8FromText(std::string_view text) {
  return Convert("UTF-8", "GB18030", text, "\xEF\xBF\xBD");
}

Text TextFromUtf8(std::string_view utf8) { return Convert("GB18030", "UTF-8", utf8, "?"); }
