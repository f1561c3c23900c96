#pragma once

#include "document/DocumentFiles.h"

// Writes the text, encoded as its script file would be, to a new file
// recovered-YYYYMMDD-HHMMSS.txt in the program's state folder ("-2", "-3", ... added
// when that name is taken). The path written, or empty when nothing could be written.
Text WriteRecoveryCopy(RuntimeServices& services, const Text& text, TextEncoding encoding);
