// The exported functions: argument checks, then the library's objects. Nothing
// thrown inside ever crosses into the caller.
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <string>

#include "Decoder.h"
#include "Library.h"
#include "PushSource.h"
#include "UrlSource.h"
#include "bass.h"

using bass::Channel;
using bass::Device;
using bass::Library;

namespace {

constexpr QWORD kFailedQword = ~QWORD{0};
constexpr DWORD kFailedDword = ~DWORD{0};
// BASS_StreamCreateURL returns once this much has arrived (or all of it).
constexpr std::int64_t kPrebuffer = 64 * 1024;
constexpr auto kFirstDataTimeout = std::chrono::seconds(10);

template <typename R, typename F>
R Guarded(R fallback, F&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

Library& Lib() { return Library::Instance(); }

// UTF-16 to UTF-8; empty for a broken surrogate pair.
std::string Utf8FromUtf16(const char16_t* text) {
  std::string out;
  for (; *text; ++text) {
    char32_t c = *text;
    if (c >= 0xD800 && c <= 0xDBFF) {
      const char32_t low = text[1];
      if (low < 0xDC00 || low > 0xDFFF) return {};
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++text;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return {};
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool UsableRate(DWORD rate) { return bass::UsableFormat(rate, 1); }

HSTREAM Register(std::shared_ptr<bass::ByteSource> source) {
  if (!source) return 0;
  std::unique_ptr<bass::Decoder> decoder = bass::OpenDecoder(source);
  if (!decoder) return 0;
  return Lib().AddStream(std::move(source), std::move(decoder));
}

// Push streams by handle; a freed stream's entry simply expires.
std::mutex pushLock;
std::map<DWORD, std::weak_ptr<bass::PushSource>> pushStreams;

}  // namespace

extern "C" {

BOOL BASS_Init(int device, DWORD freq, DWORD, void*, const void*) {
  return Guarded<BOOL>(FALSE, [&] {
    return device >= -1 && UsableRate(freq) && Lib().Init(device, static_cast<int>(freq));
  });
}

BOOL BASS_Free(void) {
  return Guarded<BOOL>(FALSE, [] { return Lib().Free(); });
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  return Guarded<HSTREAM>(0, [&]() -> HSTREAM {
    if (!file || !Lib().Initialised()) return 0;
    if (mem) {
      if (length > static_cast<QWORD>(std::numeric_limits<std::int64_t>::max())) return 0;
      return Register(bass::MemorySource(file, static_cast<std::int64_t>(length)));
    }
    const std::string path = (flags & BASS_UNICODE)
                                 ? Utf8FromUtf16(static_cast<const char16_t*>(file))
                                 : std::string(static_cast<const char*>(file));
    if (path.empty()) return 0;
    return Register(bass::FileSource(path, offset, length));
  });
}

HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD, DOWNLOADPROC* proc, void* user) {
  return Guarded<HSTREAM>(0, [&]() -> HSTREAM {
    if (!url || !Lib().Initialised()) return 0;
    auto source = bass::UrlSource::Start(url, offset, proc, user);
    if (!source) return 0;
    source->WaitFor(kPrebuffer, kFirstDataTimeout);
    if (source->Available() == 0) return 0;
    return Register(std::move(source));
  });
}

HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD, STREAMPROC* proc, void*) {
  return Guarded<HSTREAM>(0, [&]() -> HSTREAM {
    if (proc != STREAMPROC_PUSH || !Lib().Initialised()) return 0;
    auto source = std::make_shared<bass::PushSource>();
    auto decoder = bass::OpenPushDecoder(source, static_cast<int>(freq), static_cast<int>(chans));
    if (!decoder) return 0;
    const HSTREAM handle = Lib().AddStream(source, std::move(decoder));
    if (handle == 0) return 0;
    std::lock_guard guard(pushLock);
    std::erase_if(pushStreams, [](const auto& entry) { return entry.second.expired(); });
    pushStreams[handle] = source;
    return handle;
  });
}

DWORD BASS_StreamPutData(HSTREAM handle, const void* buffer, DWORD length) {
  return Guarded<DWORD>(static_cast<DWORD>(-1), [&]() -> DWORD {
    std::shared_ptr<bass::PushSource> source;
    {
      std::lock_guard guard(pushLock);
      auto found = pushStreams.find(handle);
      if (found != pushStreams.end()) source = found->second.lock();
    }
    if (!source) return static_cast<DWORD>(-1);
    const DWORD bytes = length & ~BASS_STREAMPROC_END;
    const std::int64_t queued =
        source->Put(buffer, buffer ? bytes : 0, (length & BASS_STREAMPROC_END) != 0);
    return queued < 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(queued);
  });
}

BOOL BASS_StreamFree(HSTREAM handle) {
  return Guarded<BOOL>(FALSE, [&] {
    return Lib().WithDevice(false, [&](Device& device) { return device.FreeStream(handle); });
  });
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  return Guarded<BOOL>(FALSE, [&] {
    return Lib().WithChannel(handle, false, [&](Channel& c) { return c.Play(restart != FALSE); });
  });
}

BOOL BASS_ChannelPause(DWORD handle) {
  return Guarded<BOOL>(FALSE, [&] {
    return Lib().WithChannel(handle, false, [](Channel& c) { return c.Pause(); });
  });
}

BOOL BASS_ChannelStop(DWORD handle) {
  return Guarded<BOOL>(
      FALSE, [&] { return Lib().WithChannel(handle, false, [](Channel& c) { return c.Stop(); }); });
}

DWORD BASS_ChannelIsActive(DWORD handle) {
  return Guarded<DWORD>(BASS_ACTIVE_STOPPED, [&] {
    return Lib().WithChannel(handle, DWORD{BASS_ACTIVE_STOPPED},
                             [](Channel& c) { return static_cast<DWORD>(c.Activity()); });
  });
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  return Guarded<QWORD>(kFailedQword, [&] {
    if (mode != BASS_POS_BYTE) return kFailedQword;
    return Lib().WithChannel(handle, kFailedQword,
                             [](Channel& c) { return static_cast<QWORD>(c.PositionBytes()); });
  });
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  return Guarded<BOOL>(FALSE, [&] {
    if (mode != BASS_POS_BYTE || pos > static_cast<QWORD>(std::numeric_limits<std::int64_t>::max()))
      return false;
    return Lib().WithChannel(handle, false, [&](Channel& c) {
      return c.SetPositionBytes(static_cast<std::int64_t>(pos));
    });
  });
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  return Guarded<QWORD>(kFailedQword, [&] {
    if (mode != BASS_POS_BYTE) return kFailedQword;
    return Lib().WithChannel(handle, kFailedQword, [](Channel& c) {
      const std::int64_t length = c.LengthBytes();
      return length < 0 ? kFailedQword : static_cast<QWORD>(length);
    });
  });
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  return Guarded<double>(-1.0, [&] {
    return Lib().WithChannel(handle, -1.0, [&](Channel& c) {
      return static_cast<double>(pos) / (static_cast<double>(c.Rate()) * c.BytesPerFrame());
    });
  });
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  return Guarded<QWORD>(kFailedQword, [&] {
    if (!(pos >= 0.0) || pos > 1e9) return kFailedQword;  // also NaN
    return Lib().WithChannel(handle, kFailedQword, [&](Channel& c) {
      // The nearest whole frame, so that bytes → seconds → bytes comes back the same.
      const auto frames = static_cast<QWORD>(std::llround(pos * c.Rate()));
      return frames * static_cast<QWORD>(c.BytesPerFrame());
    });
  });
}

const char* BASS_ChannelGetTags(DWORD handle, DWORD tags) {
  return Guarded<const char*>(nullptr, [&]() -> const char* {
    if (tags != BASS_TAG_ID3) return nullptr;
    return Lib().WithChannel(handle, static_cast<const char*>(nullptr),
                             [](Channel& c) { return c.Id3Tag(); });
  });
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  return Guarded<DWORD>(kFailedDword, [&] {
    if (!buffer || length < BASS_DATA_FFT256 || length > BASS_DATA_FFT4096) return kFailedDword;
    const std::size_t points = std::size_t{256} << (length - BASS_DATA_FFT256);
    return Lib().WithChannel(handle, kFailedDword, [&](Channel& c) {
      const std::int64_t written = c.Spectrum(static_cast<float*>(buffer), points);
      return written < 0 ? kFailedDword : static_cast<DWORD>(written);
    });
  });
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  return Guarded<BOOL>(FALSE, [&] {
    if (attrib != BASS_ATTRIB_VOL) return false;
    return Lib().WithChannel(handle, false, [&](Channel& c) { return c.SetVolume(value); });
  });
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
  return Guarded<BOOL>(FALSE, [&] {
    if (attrib != BASS_ATTRIB_VOL || !value) return false;
    return Lib().WithChannel(handle, false, [&](Channel& c) {
      *value = c.Volume();
      return true;
    });
  });
}

BOOL BASS_SetVolume(float volume) {
  return Guarded<BOOL>(FALSE, [&] {
    if (!(volume >= 0.0f && volume <= 1.0f)) return false;  // also NaN
    return Lib().WithDevice(false, [&](Device& device) {
      device.mixer().level.store(volume);
      return true;
    });
  });
}

float BASS_GetVolume(void) {
  return Guarded<float>(-1.0f, [] {
    return Lib().WithDevice(-1.0f, [](Device& device) { return device.mixer().level.load(); });
  });
}

}  // extern "C"
