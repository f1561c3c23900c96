#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG (librsvg2-bin). The
# PNGs are committed; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" example.orvane.Notepad.svg -o "example.orvane.Notepad-$size.png"
done
