#include "audio/AudioPlayer.h"

#include <algorithm>

#include "audio/BassFunctions.h"
#include "audio/BassImage.h"
#include "framework/BoundFunction.h"
#include "framework/ComponentFiles.h"
#include "framework/TextCodec.h"

namespace {

constexpr const char* kBass = "bass.dll";
const ComponentFile kBassFile{"bass.dll", orvane_bass_image_begin, orvane_bass_image_end};

bass_api::Qword SignExtended(std::int32_t offset) {
  return static_cast<bass_api::Qword>(static_cast<std::int64_t>(offset));
}

}  // namespace

struct AudioPlayer::Library {
  explicit Library(Libraries& s)
      : init(s, kBass, "BASS_Init"),
        free(s, kBass, "BASS_Free"),
        streamCreateFile(s, kBass, "BASS_StreamCreateFile"),
        streamCreateUrl(s, kBass, "BASS_StreamCreateURL"),
        streamCreate(s, kBass, "BASS_StreamCreate"),
        streamPutData(s, kBass, "BASS_StreamPutData"),
        channelPlay(s, kBass, "BASS_ChannelPlay"),
        channelPause(s, kBass, "BASS_ChannelPause"),
        channelStop(s, kBass, "BASS_ChannelStop"),
        channelGetPosition(s, kBass, "BASS_ChannelGetPosition"),
        channelSetPosition(s, kBass, "BASS_ChannelSetPosition"),
        channelGetLength(s, kBass, "BASS_ChannelGetLength"),
        channelGetTags(s, kBass, "BASS_ChannelGetTags"),
        channelIsActive(s, kBass, "BASS_ChannelIsActive"),
        streamFree(s, kBass, "BASS_StreamFree"),
        channelGetData(s, kBass, "BASS_ChannelGetData"),
        channelSetAttribute(s, kBass, "BASS_ChannelSetAttribute"),
        channelGetAttribute(s, kBass, "BASS_ChannelGetAttribute"),
        setVolume(s, kBass, "BASS_SetVolume"),
        getVolume(s, kBass, "BASS_GetVolume"),
        bytes2Seconds(s, kBass, "BASS_ChannelBytes2Seconds"),
        seconds2Bytes(s, kBass, "BASS_ChannelSeconds2Bytes") {}

  BoundFunction<bass_api::Init> init;
  BoundFunction<bass_api::Free> free;
  BoundFunction<bass_api::StreamCreateFile> streamCreateFile;
  BoundFunction<bass_api::StreamCreateUrl> streamCreateUrl;
  BoundFunction<bass_api::StreamCreate> streamCreate;
  BoundFunction<bass_api::StreamPutData> streamPutData;
  BoundFunction<bass_api::ChannelPlay> channelPlay;
  BoundFunction<bass_api::ChannelCall> channelPause;
  BoundFunction<bass_api::ChannelCall> channelStop;
  BoundFunction<bass_api::ChannelGetPosition> channelGetPosition;
  BoundFunction<bass_api::ChannelSetPosition> channelSetPosition;
  BoundFunction<bass_api::ChannelGetPosition> channelGetLength;
  BoundFunction<bass_api::ChannelGetTags> channelGetTags;
  BoundFunction<bass_api::ChannelIsActive> channelIsActive;
  BoundFunction<bass_api::ChannelCall> streamFree;
  BoundFunction<bass_api::ChannelGetData> channelGetData;
  BoundFunction<bass_api::ChannelSetAttribute> channelSetAttribute;
  BoundFunction<bass_api::ChannelGetAttribute> channelGetAttribute;
  BoundFunction<bass_api::SetVolume> setVolume;
  BoundFunction<bass_api::GetVolume> getVolume;
  BoundFunction<bass_api::Bytes2Seconds> bytes2Seconds;
  BoundFunction<bass_api::Seconds2Bytes> seconds2Bytes;
};

AudioPlayer::AudioPlayer(Uses<FileSystem, Libraries> services)
    : services_(services), library_(std::make_unique<Library>(services)) {
  WriteComponentFile(services_, kBassFile);
}

AudioPlayer::AudioPlayer(const AudioPlayer& other)
    : services_(other.services_), library_(std::make_unique<Library>(other.services_)) {}

AudioPlayer::~AudioPlayer() = default;

std::unique_ptr<AudioPlayer> AudioPlayer::Clone() const {
  return std::unique_ptr<AudioPlayer>(new AudioPlayer(*this));
}

bool AudioPlayer::InitDevice(std::optional<int> device, std::optional<int> frequency,
                             std::optional<int> flags, std::optional<int> window) {
  // The window is a 32-bit native handle, carried in the library's pointer argument.
  void* const native = reinterpret_cast<void*>(
      static_cast<std::uintptr_t>(static_cast<std::uint32_t>(window.value_or(0))));
  return library_->init(device.value_or(-1),
                        static_cast<bass_api::Dword>(frequency.value_or(44100)),
                        static_cast<bass_api::Dword>(flags.value_or(0)), native, nullptr) != 0;
}

bool AudioPlayer::FreeDevice() { return library_->free() != 0; }

AudioPlayer::Handle AudioPlayer::CreateStream(const Text& fileName, const ByteBuffer& buffer,
                                              const Text& url, std::optional<std::int32_t> offset) {
  if (fileName.empty() && buffer.empty() && url.empty()) return 0;
  const std::int32_t start = offset.value_or(0);
  if (!fileName.empty() && services_.Get<FileSystem>().FileExists(fileName)) {
    // The library opens the name as the file system spells it.
    const std::string path = Utf8FromText(fileName);
    return library_->streamCreateFile(0, path.c_str(), SignExtended(start), 0, 0);
  }
  if (!buffer.empty())
    return library_->streamCreateFile(1, buffer.data(), SignExtended(start), buffer.size(), 0);
  if (!url.empty()) {
    const std::string address = Utf8FromText(url);
    return library_->streamCreateUrl(address.c_str(), static_cast<bass_api::Dword>(start), 0,
                                     nullptr, nullptr);
  }
  return 0;
}

AudioPlayer::Handle AudioPlayer::CreatePushStream(int frequency, int channels) {
  return library_->streamCreate(static_cast<bass_api::Dword>(frequency),
                                static_cast<bass_api::Dword>(channels), 0, bass_api::kPushProcedure,
                                nullptr);
}

std::int64_t AudioPlayer::PushData(Handle handle, const void* data, std::size_t bytes, bool end) {
  // The end flag shares the length's top bit: larger pieces go in several calls.
  constexpr std::size_t kMostPerCall = 0x40000000u;
  bass_api::Dword queued = 0;
  do {
    const std::size_t now = std::min(bytes, kMostPerCall);
    bytes -= now;
    const bass_api::Dword length =
        static_cast<bass_api::Dword>(now) | (end && bytes == 0 ? bass_api::kStreamEnd : 0);
    queued = library_->streamPutData(handle, data, length);
    if (queued == static_cast<bass_api::Dword>(-1)) return -1;
    if (data) data = static_cast<const std::uint8_t*>(data) + now;
  } while (bytes > 0);
  return static_cast<std::int64_t>(queued);
}

bool AudioPlayer::Play(Handle handle, std::optional<bool> restart) {
  if (handle == 0) return false;
  return library_->channelPlay(handle, restart.value_or(true) ? 1 : 0) != 0;
}

bool AudioPlayer::Pause(Handle handle) { return library_->channelPause(handle) != 0; }

bool AudioPlayer::Stop(Handle handle) { return library_->channelStop(handle) != 0; }

std::int64_t AudioPlayer::GetPosition(Handle handle) {
  return static_cast<std::int64_t>(library_->channelGetPosition(handle, bass_api::kPositionBytes));
}

bool AudioPlayer::SetPosition(Handle handle, std::int64_t position) {
  return library_->channelSetPosition(handle, static_cast<bass_api::Qword>(position),
                                      bass_api::kPositionBytes) != 0;
}

std::int64_t AudioPlayer::GetLength(Handle handle) {
  return static_cast<std::int64_t>(library_->channelGetLength(handle, bass_api::kPositionBytes));
}

Text AudioPlayer::GetTags(Handle handle) {
  const char* tags = library_->channelGetTags(handle, bass_api::kTagId3v1);
  return tags ? Text(tags) : Text();
}

int AudioPlayer::IsActive(Handle handle) {
  return static_cast<int>(library_->channelIsActive(handle));
}

bool AudioPlayer::FreeStream(Handle handle) { return library_->streamFree(handle) != 0; }

std::int32_t AudioPlayer::GetSpectrum(Handle handle, std::vector<float>& values) {
  std::vector<float> fresh(128, 0.0f);
  const bass_api::Dword written = library_->channelGetData(handle, fresh.data(), bass_api::kFft256);
  values = std::move(fresh);
  return static_cast<std::int32_t>(written);
}

bool AudioPlayer::SetChannelVolume(Handle handle, float volume) {
  return library_->channelSetAttribute(handle, bass_api::kAttributeVolume, volume) != 0;
}

bool AudioPlayer::GetChannelVolume(Handle handle, float& volume) {
  return library_->channelGetAttribute(handle, bass_api::kAttributeVolume, &volume) != 0;
}

bool AudioPlayer::SetMasterVolume(float volume) { return library_->setVolume(volume) != 0; }

float AudioPlayer::GetMasterVolume() { return library_->getVolume(); }

double AudioPlayer::BytesToSeconds(Handle handle, std::int64_t bytes) {
  return library_->bytes2Seconds(handle, static_cast<bass_api::Qword>(bytes));
}

std::int64_t AudioPlayer::SecondsToBytes(Handle handle, double seconds) {
  return static_cast<std::int64_t>(library_->seconds2Bytes(handle, seconds));
}
