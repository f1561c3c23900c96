#pragma once

#include <link.h>

#include <string>

// The GNU build id of a loaded object, as lower-case hex; empty when it has none.
std::string ElfBuildId(const struct dl_phdr_info* info);
