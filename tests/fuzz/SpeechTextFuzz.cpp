// The speech library's text cutting and parameter parsing over any bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "components/msc/Params.h"
#include "components/msc/TextPieces.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckParams(std::string_view text, long low, long high) {
  const auto params = msc::ParseParams(text);
  if (!params) return;
  for (const auto& [key, value] : *params) {
    Require(!key.empty() && key.find_first_of(",=") == std::string::npos);
    Require(value.find(',') == std::string::npos);
    const auto number = msc::ParseInteger(value, low, high);
    Require(!number || (*number >= low && *number <= high));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto encoding = input.ConsumeBool() ? msc::Encoding::Utf8 : msc::Encoding::Gb18030;
  const std::size_t maxBytes = input.ConsumeIntegralInRange<std::size_t>(4, 64);
  const long low = input.ConsumeIntegralInRange<long>(-1000000, 1000000);
  CheckParams(input.ConsumeRandomLengthString(64), low, low + input.ConsumeIntegral<int>());
  const std::string text = input.ConsumeRemainingBytesAsString();

  const auto characters = msc::Decode(text, encoding);
  std::size_t decodedBytes = 0;
  for (const auto& c : characters) {
    Require(c.bytes >= 1 && c.bytes <= 4 && c.code <= 0x10FFFF);
    decodedBytes += c.bytes;
  }
  Require(decodedBytes <= text.size());

  // The pieces follow each other without gap or overlap and each fits.
  std::size_t next = 0;
  for (const auto& piece : msc::CutPieces(characters, maxBytes)) {
    Require(piece.begin == next && piece.end > piece.begin && piece.bytes <= maxBytes);
    std::size_t bytes = 0;
    for (std::size_t i = piece.begin; i < piece.end; ++i) bytes += characters[i].bytes;
    Require(bytes == piece.bytes);
    for (const auto& run :
         msc::SplitRuns(characters.data() + piece.begin, characters.data() + piece.end))
      Require(!run.text.empty() && run.text.size() <= piece.end - piece.begin);
    next = piece.end;
  }
  Require(next == characters.size());
  return 0;
}
