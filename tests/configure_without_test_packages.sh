#!/usr/bin/env bash
# Configures the project as ./run does, and as a packager's plain cmake does, on a
# machine where GoogleTest is installed but the other test-only packages are not: a
# pkg-config first on PATH pretends that they are missing. Both must succeed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
real=$(command -v pkg-config)
mkdir "$work/bin"
cat >"$work/bin/pkg-config" <<WRAPPER
#!/bin/sh
for argument in "\$@"; do
  case \$argument in
    xcb-xkb* | xkbcommon*) echo "Package \$argument was not found" >&2; exit 1 ;;
  esac
done
exec "$real" "\$@"
WRAPPER
chmod +x "$work/bin/pkg-config"
export PATH="$work/bin:$PATH"
if pkg-config --exists xkbcommon-x11 2>/dev/null; then
  echo "the wrapper does not hide xkbcommon-x11" >&2
  exit 1
fi

echo "== ./run --configure-only"
ORVANE_BUILD_DIR="$work/run" "$root/run" --configure-only
echo "== plain cmake"
cmake -S "$root" -B "$work/plain" -G Ninja >"$work/plain.log"
grep -q "tests and benchmarks are left out" "$work/plain.log" ||
  { cat "$work/plain.log"; echo "the tests were not left out" >&2; exit 1; }
echo "both configured"
