#pragma once

#include <cstdint>

// The built speex.dll and msc.dll, embedded into every executable that links the
// speech logic (orvane_embed_file with these symbol names).
extern "C" const std::uint8_t orvane_speex_image_begin[];
extern "C" const std::uint8_t orvane_speex_image_end[];
extern "C" const std::uint8_t orvane_msc_image_begin[];
extern "C" const std::uint8_t orvane_msc_image_end[];
