#pragma once

#include <vector>

namespace bass {

// Magnitudes of bins 0 to N/2-1 of an N-point FFT (N a power of two, 256 to 4096)
// of the samples under a Hann window, scaled so that a full-scale sine reads about
// 1.0 in its bin. False for an unsupported N.
bool HannSpectrum(const std::vector<float>& samples, float* magnitudes);

}  // namespace bass
