#!/bin/sh
# Builds the libFuzzer target over a script file's encoding detection, decoding, the
# editor's text and encoding with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (only when the sources changed), then runs it for a bounded time over the committed
# corpus (inputs that once failed are kept there as regression-*).
# Usage: fuzz.sh <source root> <work folder> [seconds]
set -eu
root=$1
work=$2
seconds=${3:-20}
here="$root/tests/unit/script-encoding-fuzz"
binary="$work/script_encoding_fuzzer"
sources="$root/src/framework/TextCodec.cpp $root/src/framework/TextUnits.cpp
  $root/src/framework/EditorText.cpp $root/src/document/ScriptEncoding.cpp
  $here/ScriptEncodingFuzz.cpp"
mkdir -p "$work/corpus"
# shellcheck disable=SC2086
if [ ! -x "$binary" ] || [ -n "$(find $sources "$root/src/framework" "$root/src/document" "$0" -newer "$binary" | head -n 1)" ]; then
  # shellcheck disable=SC2086
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" $sources -o "$binary.new"
  mv "$binary.new" "$binary"
fi
exec "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$here/corpus"
