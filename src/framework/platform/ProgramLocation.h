#pragma once

#include <string>

// The folder of the running executable, as a native (UTF-8) path without a
// trailing separator.
std::string ExecutableDirectory();
