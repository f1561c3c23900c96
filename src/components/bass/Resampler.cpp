#include "Resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cstring>

namespace bass {

Resampler::Resampler(int inRate, int outRate, int channels)
    : channels_(channels), passThrough_(inRate == outRate) {
  if (passThrough_) return;
  soxr_error_t error = nullptr;
  // High quality: 20-bit precision, far below what the 16-bit output can show, at a
  // small fraction of a core for a stream.
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // no threads of its own
  soxr_ = soxr_create(inRate, outRate, static_cast<unsigned>(channels), &error, &io, &quality,
                      &runtime);
  if (error) soxr_ = nullptr;
}

Resampler::~Resampler() {
  if (soxr_) soxr_delete(soxr_);
}

std::int64_t Resampler::Process(const float* in, std::int64_t inFrames, std::int64_t* used,
                                float* out, std::int64_t outFrames) {
  *used = 0;
  if (passThrough_) {
    if (!in) return 0;
    const std::int64_t n = std::min(inFrames, outFrames);
    std::memcpy(out, in, static_cast<std::size_t>(n * channels_) * sizeof(float));
    *used = n;
    return n;
  }
  if (!soxr_) return 0;
  std::size_t done = 0;
  std::size_t written = 0;
  if (soxr_process(soxr_, in, in ? static_cast<std::size_t>(inFrames) : 0, in ? &done : nullptr,
                   out, static_cast<std::size_t>(outFrames), &written) != nullptr)
    return 0;
  *used = static_cast<std::int64_t>(done);
  return static_cast<std::int64_t>(written);
}

void Resampler::Clear() {
  if (soxr_) soxr_clear(soxr_);
}

}  // namespace bass
