#include "framework/FontUnits.h"

#include <cstdint>
#include <cstdlib>

namespace {
// Multiply, then divide with rounding, in 64 bits.
int MultiplyDivide(int value, int numerator, int denominator) {
  if (denominator == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = std::abs(static_cast<std::int64_t>(denominator)) / 2;
  const std::int64_t rounded = product >= 0 ? product + half : product - half;
  return static_cast<int>(rounded / denominator);
}
}  // namespace

int PointsToPixelHeight(int points, int dotsPerInch) {
  return -MultiplyDivide(points, dotsPerInch, 72);
}

int PixelHeightToPoints(int height, int dotsPerInch) {
  return MultiplyDivide(std::abs(height), 72, dotsPerInch);
}

Text EffectiveFaceName(const Text& faceName) {
  if (faceName.empty() || faceName.size() > 31) return "宋体";
  return faceName;
}
