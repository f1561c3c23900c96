#include "AudioFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

namespace audio_files {
namespace {

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutId(Bytes& out, const char* id) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

// libsndfile virtual I/O over a growing byte vector.
struct Memory {
  Bytes bytes;
  sf_count_t pos = 0;
};
sf_count_t Length(void* user) {
  return static_cast<sf_count_t>(static_cast<Memory*>(user)->bytes.size());
}
sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<Memory*>(user);
  const sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? m->pos
                                               : static_cast<sf_count_t>(m->bytes.size());
  m->pos = base + offset;
  return m->pos;
}
sf_count_t Read(void* out, sf_count_t count, void* user) {
  auto* m = static_cast<Memory*>(user);
  const sf_count_t left =
      std::max<sf_count_t>(0, static_cast<sf_count_t>(m->bytes.size()) - m->pos);
  const sf_count_t n = std::min(count, left);
  std::memcpy(out, m->bytes.data() + m->pos, static_cast<std::size_t>(n));
  m->pos += n;
  return n;
}
sf_count_t Write(const void* in, sf_count_t count, void* user) {
  auto* m = static_cast<Memory*>(user);
  const auto end = static_cast<std::size_t>(m->pos + count);
  if (m->bytes.size() < end) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->pos, in, static_cast<std::size_t>(count));
  m->pos += count;
  return count;
}
sf_count_t Tell(void* user) { return static_cast<Memory*>(user)->pos; }

Samples Sounding(const Samples& mine, const Samples& other) {
  Samples out;
  for (std::size_t i = 0; i < mine.size(); ++i)
    if (mine[i] != 0 || other[i] != 0) out.push_back(mine[i]);
  return out;
}

}  // namespace

Bytes WaveImage(const Samples& pcm, int rate, int channels) {
  Bytes data;
  for (std::int16_t s : pcm) Put16(data, static_cast<std::uint16_t>(s));
  return WavWithFormat(1, channels, rate, 16, data);
}

Bytes WavWithFormat(int tag, int channels, int rate, int bits, const Bytes& data, bool extensible) {
  Bytes out;
  const std::uint32_t fmtSize = extensible ? 40 : 16;
  PutId(out, "RIFF");
  Put32(out, static_cast<std::uint32_t>(4 + 8 + fmtSize + 8 + data.size()));
  PutId(out, "WAVE");
  PutId(out, "fmt ");
  Put32(out, fmtSize);
  Put16(out, extensible ? 0xFFFE : static_cast<std::uint32_t>(tag));
  Put16(out, static_cast<std::uint32_t>(channels));
  Put32(out, static_cast<std::uint32_t>(rate));
  Put32(out, static_cast<std::uint32_t>(rate * channels * bits / 8));
  Put16(out, static_cast<std::uint32_t>(channels * bits / 8));
  Put16(out, static_cast<std::uint32_t>(bits));
  if (extensible) {
    Put16(out, 22);
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, 0);
    // KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT: the tag, then a fixed GUID tail.
    Put16(out, static_cast<std::uint32_t>(tag));
    for (std::uint8_t b :
         {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
      out.push_back(b);
  }
  PutId(out, "data");
  Put32(out, static_cast<std::uint32_t>(data.size()));
  return Join({out, data, Bytes(data.size() & 1, 0)});
}

Samples NonZeroNoise(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> magnitude(1000, 20000);
  std::bernoulli_distribution negative(0.5);
  Samples out(count);
  for (auto& s : out)
    s = static_cast<std::int16_t>(negative(random) ? -magnitude(random) : magnitude(random));
  return out;
}

Samples Sine(std::size_t count, int rate, double hertz, double amplitude) {
  Samples out(count);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::int16_t>(std::lround(
        amplitude * std::sin(2.0 * std::numbers::pi * hertz * static_cast<double>(i) / rate)));
  return out;
}

Samples Constant(std::size_t count, std::int16_t value) { return Samples(count, value); }

Bytes EncodeWithSndfile(const Samples& pcm, int rate, int channels, int format) {
  Memory memory;
  SF_VIRTUAL_IO io{&Length, &Seek, &Read, &Write, &Tell};
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format | SF_FORMAT_PCM_16;
  if ((format & SF_FORMAT_SUBMASK) != 0) info.format = format;
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
  if (!file) return {};
  sf_writef_short(file, pcm.data(), static_cast<sf_count_t>(pcm.size() / channels));
  sf_close(file);
  return memory.bytes;
}

Samples DecodeWithSndfile(const Bytes& file, int* rate, int* channels) {
  Memory memory{file, 0};
  SF_VIRTUAL_IO io{&Length, &Seek, &Read, &Write, &Tell};
  SF_INFO info{};
  SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!sound) return {};
  Samples out;
  std::vector<std::int16_t> block(static_cast<std::size_t>(4096 * info.channels));
  sf_count_t got;
  while ((got = sf_readf_short(sound, block.data(), 4096)) > 0)
    out.insert(out.end(), block.begin(), block.begin() + got * info.channels);
  sf_close(sound);
  if (rate) *rate = info.samplerate;
  if (channels) *channels = info.channels;
  return out;
}

// Copies with memcpy: GCC 12 warns wrongly about vector<uint8_t>::insert here.
Bytes Join(const std::vector<Bytes>& parts) {
  std::size_t size = 0;
  for (const Bytes& part : parts) size += part.size();
  Bytes out(size);
  std::size_t at = 0;
  for (const Bytes& part : parts) {
    if (!part.empty()) std::memcpy(out.data() + at, part.data(), part.size());
    at += part.size();
  }
  return out;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool RunCommand(const std::string& command) { return std::system(command.c_str()) == 0; }

DeviceOutput ReadDeviceOutput(const std::string& path) {
  const Bytes raw = ReadFile(path);
  DeviceOutput out;
  for (std::size_t i = 0; i + 3 < raw.size(); i += 4) {
    out.left.push_back(static_cast<std::int16_t>(raw[i] | (raw[i + 1] << 8)));
    out.right.push_back(static_cast<std::int16_t>(raw[i + 2] | (raw[i + 3] << 8)));
  }
  return out;
}

Samples DeviceOutput::SoundingLeft() const { return Sounding(left, right); }
Samples DeviceOutput::SoundingRight() const { return Sounding(right, left); }

Samples DeviceOutput::LeftSpan() const {
  std::size_t first = 0, last = left.size();
  while (first < left.size() && left[first] == 0 && right[first] == 0) ++first;
  while (last > first && left[last - 1] == 0 && right[last - 1] == 0) --last;
  return Samples(left.begin() + static_cast<std::ptrdiff_t>(first),
                 left.begin() + static_cast<std::ptrdiff_t>(last));
}

Samples WithoutZeroRuns(const Samples& samples, std::size_t minRun) {
  Samples out;
  std::size_t i = 0;
  while (i < samples.size()) {
    std::size_t j = i;
    while (j < samples.size() && samples[j] == 0) ++j;
    if (j - i < minRun)
      out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(i),
                 samples.begin() + static_cast<std::ptrdiff_t>(j));
    if (j < samples.size()) out.push_back(samples[j]);
    i = j + 1;
  }
  return out;
}

double BestCorrelation(const Samples& expected, const Samples& actual, int maxLag) {
  double best = -1.0;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const long j = static_cast<long>(i) + lag;
      if (j < 0 || j >= static_cast<long>(actual.size())) continue;
      const double x = expected[i], y = actual[static_cast<std::size_t>(j)];
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
  }
  return best;
}

std::size_t CommonPrefix(const Samples& a, const Samples& b) {
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first -
                                  a.begin());
}

std::size_t CommonSuffix(const Samples& a, const Samples& b) {
  return static_cast<std::size_t>(std::mismatch(a.rbegin(), a.rend(), b.rbegin(), b.rend()).first -
                                  a.rbegin());
}

}  // namespace audio_files
