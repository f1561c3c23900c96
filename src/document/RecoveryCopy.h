#pragma once

#include "document/DocumentFiles.h"
#include "framework/Processes.h"

// Writes the text, encoded as its script file would be, to a new file
// recovered-YYYYMMDD-HHMMSS.txt in the program's state folder ("-2", "-3", ... added
// when that name is taken). The path written, or empty when nothing could be written.
Text WriteRecoveryCopy(Uses<FileSystem, Threads, Processes> services, const Text& text,
                       TextEncoding encoding);

// Writes the bytes to a new private recovered-....txt file: in the state folder, or,
// when that cannot be written (unusable, read-only, full), in the fallback folder, which
// standard error then names. A taken name, a dangling symbolic link too, is skipped.
// The path written, or empty when nothing could be written.
Text KeepRecoveredBytes(Uses<FileSystem, Threads, Processes> services, const ByteBuffer& bytes);

// The bytes of a script file for the text; a text its encoding cannot hold is kept as
// the editor holds it (GB18030) rather than lost, and encoding then says so.
ByteBuffer ScriptBytesOrEditorBytes(const Text& text, TextEncoding& encoding);
