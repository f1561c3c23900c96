#pragma once

#include <optional>

#include "document/DocumentFiles.h"

// A script file's bytes as the editor's text, and back.
struct DecodedScript {
  Text text;  // GB18030, as the editor holds it
  TextEncoding encoding = TextEncoding::Gbk;
};

// Recognises UTF-16 and UTF-8 by their byte-order marks, and UTF-8 without one by
// strict validation (a file that is not valid UTF-8 is GBK). Nothing for a file
// that is not a script: a zero character, or UTF-16 that does not decode.
std::optional<DecodedScript> DecodeScript(const ByteBuffer& bytes);
// The editor's text in the file's encoding, with its byte-order mark.
std::optional<ByteBuffer> EncodeScript(const Text& text, TextEncoding encoding);

// The line break a script's text keeps: a bare LF or CR when it has only those, else
// CR LF (the editor's own, also for a text without any).
Text ScriptLineBreak(const Text& text);
// The text with each CR LF, the editor's line break, written as lineBreak.
Text WithLineBreaks(const Text& text, const Text& lineBreak);
