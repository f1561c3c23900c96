#!/bin/sh
# Builds the libFuzzer target over BASS_StreamCreateFile from memory with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer (only when the sources changed),
# then runs it for a bounded time. Usage: fuzz.sh <source root> <work folder> [seconds]
set -eu
root=$1
work=$2
seconds=${3:-30}
library="$root/src/components/bass"
target="$root/tests/components/bass/Fuzz.cpp"
binary="$work/bass_fuzzer"
mkdir -p "$work/corpus"

deps="sdl2 sndfile libcurl fftw3f soxr"
if [ ! -x "$binary" ] || [ -n "$(find "$library" "$target" "$0" -newer "$binary" | head -n 1)" ]; then
  # shellcheck disable=SC2046
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$library" $(pkg-config --cflags $deps) "$library"/*.cpp "$target" \
    $(pkg-config --libs $deps) -lpthread -o "$binary.new"
  mv "$binary.new" "$binary"
fi

# Seeds: a few valid files of each kind the library reads, so that the fuzzer starts
# inside the decoders rather than at their front door.
python3 - "$work/corpus" <<'PY'
import math, struct, sys, wave
folder = sys.argv[1]
def tone(n, rate):
    return [int(8000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(n)]
for name, channels, width, rate in (("mono16.wav", 1, 2, 16000), ("stereo8.wav", 2, 1, 8000)):
    w = wave.open(f"{folder}/{name}", "wb")
    w.setnchannels(channels); w.setsampwidth(width); w.setframerate(rate)
    if width == 2:
        w.writeframes(b"".join(struct.pack("<h", s) for s in tone(400 * channels, rate)))
    else:
        w.writeframes(bytes((s // 256 + 128) & 255 for s in tone(400 * channels, rate)))
    w.close()
data = b"".join(struct.pack("<f", s / 32768) for s in tone(300, 22050))
fmt = struct.pack("<HHIIHH", 3, 1, 22050, 22050 * 4, 4, 32)
body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(f"{folder}/float.wav", "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
if command -v lame >/dev/null; then
  lame --quiet -b 32 --tt Seed "$work/corpus/mono16.wav" "$work/corpus/tagged.mp3"
fi
printf '%s\n' '"RIFF"' '"WAVE"' '"fmt "' '"data"' '"LIST"' '"fLaC"' '"OggS"' '"ID3"' '"TAG"' \
  '"\xff\xfb"' '"\xfe\xff"' > "$work/bass.dict"

exec "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" \
  -dict="$work/bass.dict" -print_final_stats=1 "$work/corpus"
