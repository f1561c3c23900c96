#pragma once

#include "framework/Types.h"

// Font sizes in points against character heights in pixels, as the font property
// and the font dialog exchange them. A height is negative: a character height.
int PointsToPixelHeight(int points, int dotsPerInch);  // -(points * dpi / 72), rounded
int PixelHeightToPoints(int height, int dotsPerInch);  // |height| * 72 / dpi, rounded

// A face name that is empty or longer than 31 bytes falls back to "宋体".
Text EffectiveFaceName(const Text& faceName);
