#include "Fft.h"

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

namespace bass {
namespace {

struct Plan {
  fftwf_plan plan = nullptr;
  std::vector<float> window;
};

// FFTW's planner is not thread-safe; executing a finished plan on new arrays is.
// Plans live as long as the process: a call may still be using one while static
// objects are destroyed at exit.
const Plan* PlanFor(std::size_t n) {
  static std::mutex mutex;
  static auto* plans = new std::map<std::size_t, std::unique_ptr<Plan>>;
  std::lock_guard lock(mutex);
  auto& slot = (*plans)[n];
  if (!slot) {
    auto plan = std::make_unique<Plan>();
    std::vector<float> in(n);
    std::vector<std::complex<float>> out(n / 2 + 1);
    plan->plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in.data(),
                                       reinterpret_cast<fftwf_complex*>(out.data()),
                                       FFTW_ESTIMATE | FFTW_UNALIGNED);
    if (!plan->plan) return nullptr;
    plan->window.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      plan->window[i] =
          static_cast<float>(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                                   static_cast<double>(n))));
    slot = std::move(plan);
  }
  return slot.get();
}

}  // namespace

bool HannSpectrum(const std::vector<float>& samples, float* magnitudes) {
  const std::size_t n = samples.size();
  if (n < 256 || n > 4096 || (n & (n - 1)) != 0) return false;
  const Plan* plan = PlanFor(n);
  if (!plan) return false;
  std::vector<float> in(n);
  for (std::size_t i = 0; i < n; ++i) in[i] = samples[i] * plan->window[i];
  std::vector<std::complex<float>> out(n / 2 + 1);
  fftwf_execute_dft_r2c(plan->plan, in.data(), reinterpret_cast<fftwf_complex*>(out.data()));
  // The Hann window's coherent gain is 1/2: a sine of amplitude A gives A*N/4.
  const float scale = 4.0f / static_cast<float>(n);
  for (std::size_t k = 0; k < n / 2; ++k) magnitudes[k] = std::abs(out[k]) * scale;
  return true;
}

}  // namespace bass
