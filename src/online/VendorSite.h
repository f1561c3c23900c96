#pragma once

#include "framework/Types.h"

// The vendor's own details, in one place: ours, not a third party's (the host is
// under the reserved .example domain).
Text ForumHost();
Text ContactNumber();
Text ForumAddress(const char* path);  // "http://" + host + path
