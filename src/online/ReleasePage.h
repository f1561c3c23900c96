#pragma once

#include "framework/Types.h"

// Whether the release page names this program's version (letters in any case): then
// there is nothing newer to offer.
bool ReleasePageNamesThisVersion(const ByteBuffer& page);
