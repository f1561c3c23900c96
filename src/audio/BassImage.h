#pragma once

#include <cstdint>

// The bytes of the built bass.dll, embedded into the audio library by the build.
extern "C" const std::uint8_t orvane_bass_image_begin[];
extern "C" const std::uint8_t orvane_bass_image_end[];
