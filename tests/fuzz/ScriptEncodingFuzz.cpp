// A script file's whole way: encoding detection, decoding, the editor's UTF-16 and
// back, encoding. Any file that opens must come back byte for byte, and only a file
// with a zero character, or with a byte-order mark it does not live up to, may be
// refused.
#include <cstdint>
#include <cstdlib>

#include "document/ScriptEncoding.h"
#include "framework/EditorText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteBuffer file(data, data + size);
  const std::optional<DecodedScript> script = DecodeScript(file);
  if (!script) {
    const bool marked =
        size >= 2 &&
        ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF) ||
         (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF));
    bool zero = false;
    for (std::size_t i = 0; i < size; ++i) zero = zero || data[i] == 0;
    if (!marked && !zero) std::abort();  // a plain file without zero bytes always opens
    return 0;
  }
  const Text shownAndRead = TextFromEditorUnits(EditorUnitsFromText(script->text));
  if (shownAndRead != script->text) std::abort();
  const std::optional<ByteBuffer> written = EncodeScript(shownAndRead, script->encoding);
  if (!written || *written != file) std::abort();
  return 0;
}
