#include <algorithm>
#include <cmath>
#include <vector>

#include "Decoder.h"
#include "SystemLibraries.h"

namespace bass {
namespace {

// While downloading, decode only with this many bytes in hand beyond the last read,
// so that a decoder never waits for the network inside a read.
constexpr std::int64_t kLookahead = 64 * 1024;

class SndfileDecoder : public Decoder {
 public:
  explicit SndfileDecoder(std::shared_ptr<ByteSource> source) : source_(std::move(source)) {}
  ~SndfileDecoder() override {
    if (file_) Sndfile()->close(file_);
  }

  bool Open() {
    if (!Sndfile()) return false;
    if (source_->Size() < 0) source_->WaitComplete();  // libsndfile needs the length
    if (source_->Size() <= 0) return false;
    SF_VIRTUAL_IO io{&Length, &SeekTo, &ReadFrom, &WriteTo, &Tell};
    file_ = Sndfile()->open_virtual(&io, SFM_READ, &info_, this);
    if (!file_ || !UsableFormat(info_.samplerate, info_.channels) || info_.frames <= 0)
      return false;
    if ((info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG && !CountDecodedFrames())
      return false;
    // Some data opens but decodes to nothing: refuse it now rather than play silence.
    pending_.resize(static_cast<std::size_t>(256 * info_.channels));
    const std::int64_t got = ReadPcm(pending_.data(), 256);
    if (got <= 0) return false;
    pending_.resize(static_cast<std::size_t>(got * info_.channels));
    return true;
  }

  int Rate() const override { return info_.samplerate; }
  int Channels() const override { return info_.channels; }
  std::int64_t Frames() const override { return info_.frames == SF_COUNT_MAX ? -1 : info_.frames; }

  std::int64_t Read(std::int16_t* out, std::int64_t frames) override {
    if (frames <= 0) return 0;
    if (pendingAt_ < pending_.size()) {
      const std::size_t left =
          (pending_.size() - pendingAt_) / static_cast<std::size_t>(Channels());
      const std::size_t take = std::min<std::size_t>(left, static_cast<std::size_t>(frames));
      std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                  take * static_cast<std::size_t>(Channels()), out);
      pendingAt_ += take * static_cast<std::size_t>(Channels());
      return static_cast<std::int64_t>(take);
    }
    if (!source_->Complete() && source_->Available() - lastReadEnd_ < kLookahead)
      return kWaitForData;
    return ReadPcm(out, frames);
  }

  bool Seek(std::int64_t frame) override {
    if (frame < 0 || !source_->Complete() || (Frames() >= 0 && frame > Frames())) return false;
    if (Sndfile()->seek(file_, frame, SEEK_SET) != frame) return false;
    pending_.clear();
    pendingAt_ = 0;
    return true;
  }

 private:
  // An MP3's length as libsndfile reports it comes from the encoder's header (lame's
  // delay and padding) and differs from what its decoder gives, which is also what
  // ffmpeg plays: the length is what decoding the whole file gives. Speech files decode
  // in a blink; a stream still downloading keeps the header's length.
  bool CountDecodedFrames() {
    if (!source_->Complete()) return true;
    std::vector<float> scratch(static_cast<std::size_t>(4096 * info_.channels));
    sf_count_t total = 0;
    for (sf_count_t got; (got = Sndfile()->readf_float(file_, scratch.data(), 4096)) > 0;)
      total += got;
    if (Sndfile()->seek(file_, 0, SEEK_SET) != 0) return false;
    if (total > 0) info_.frames = total;
    return true;
  }

  // Decodes as floats and rounds to 16 bits here: the audio keeps its own level
  // (libsndfile's integer read of float codecs would either scale every file to
  // full scale, which scans the whole file first, or wrap around on overshoots,
  // which Vorbis and MP3 have), and overshoots clip.
  std::int64_t ReadPcm(std::int16_t* out, std::int64_t frames) {
    floats_.resize(static_cast<std::size_t>(frames * info_.channels));
    const sf_count_t got = Sndfile()->readf_float(file_, floats_.data(), frames);
    if (got <= 0) return 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(got * info_.channels); ++i) {
      float value = floats_[i] * 32768.0f;
      if (value != value) value = 0.0f;  // broken data may decode to NaN
      out[i] = static_cast<std::int16_t>(std::clamp(std::nearbyint(value), -32768.0f, 32767.0f));
    }
    return got;
  }

  static SndfileDecoder& Self(void* user) { return *static_cast<SndfileDecoder*>(user); }
  static sf_count_t Length(void* user) { return Self(user).source_->Size(); }
  static sf_count_t Tell(void* user) { return Self(user).pos_; }
  static sf_count_t WriteTo(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t SeekTo(sf_count_t offset, int whence, void* user) {
    SndfileDecoder& self = Self(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = self.pos_;
    if (whence == SEEK_END) base = self.source_->Size();
    const sf_count_t target = base + offset;
    if (target < 0) return -1;
    self.pos_ = target;
    return target;
  }
  static sf_count_t ReadFrom(void* out, sf_count_t count, void* user) {
    SndfileDecoder& self = Self(user);
    const sf_count_t got = self.source_->Read(self.pos_, out, count);
    self.pos_ += got;
    self.lastReadEnd_ = self.pos_;
    return got;
  }

  std::shared_ptr<ByteSource> source_;
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  sf_count_t pos_ = 0;
  std::int64_t lastReadEnd_ = 0;
  std::vector<float> floats_;
  std::vector<std::int16_t> pending_;  // the frames decoded while checking the data
  std::size_t pendingAt_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> OpenSndfileDecoder(const std::shared_ptr<ByteSource>& source) {
  auto decoder = std::make_unique<SndfileDecoder>(source);
  if (!decoder->Open()) return nullptr;
  return decoder;
}

}  // namespace bass
