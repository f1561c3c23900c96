#pragma once

#include <cstdint>

typedef struct soxr* soxr_t;

namespace bass {

// Converts a channel's interleaved float audio from its own rate to the output's
// with libsoxr, keeping the filter state and the fractional position from one piece
// to the next, so that the pieces join without a seam. Equal rates pass through
// untouched (bit for bit).
class Resampler {
 public:
  Resampler(int inRate, int outRate, int channels);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  bool Ready() const { return passThrough_ || soxr_ != nullptr; }

  // Takes up to inFrames frames of in (sets *used) and writes up to outFrames frames
  // to out; returns the frames written. With in null, gives the tail that the
  // filter still holds after the last input; 0 once it is all out.
  std::int64_t Process(const float* in, std::int64_t inFrames, std::int64_t* used, float* out,
                       std::int64_t outFrames);
  // Forgets everything: ready for audio that does not continue the last piece.
  void Clear();

 private:
  const int channels_;
  const bool passThrough_;
  soxr_t soxr_ = nullptr;
};

}  // namespace bass
