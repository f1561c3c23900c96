#!/usr/bin/env bash
# Fails when a C or C++ source differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
find src tests bench -name '*.cpp' -o -name '*.h' -o -name '*.c' | sort |
  xargs clang-format --dry-run --Werror
