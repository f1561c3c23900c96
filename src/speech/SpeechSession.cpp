#include "speech/SpeechSession.h"

#include <atomic>
#include <string>

#include "framework/ComponentFiles.h"
#include "speech/SpeechImages.h"
#include "speech/WaveImage.h"

namespace {

constexpr const char* kEngineLibrary = "msc.dll";
// Synthesis is local, so no request ever leaves the machine; the name only fills the
// engine's configuration, and the .invalid domain can never belong to anyone.
constexpr const char* kSpeechHost = "tts.orvane.invalid";
constexpr const char* kDefaultAppId = "48213970";
constexpr const char* kDefaultVoice = "xiaoyan";
constexpr int kDefaultSpeed = 4;
constexpr int kDefaultVolume = 5;
constexpr int kDefaultBackground = 0;
constexpr int kAllAudioDelivered = 2;
std::atomic<bool> engineStarted{false};

const ComponentFile kSpeexFile{"speex.dll", orvane_speex_image_begin, orvane_speex_image_end};
const ComponentFile kMscFile{"msc.dll", orvane_msc_image_begin, orvane_msc_image_end};

}  // namespace

SpeechSession::Engine::Engine(Libraries& libraries)
    : init(libraries, kEngineLibrary, "QTTSInit"),
      sessionBegin(libraries, kEngineLibrary, "QTTSSessionBegin"),
      textPut(libraries, kEngineLibrary, "QTTSTextPut"),
      audioGet(libraries, kEngineLibrary, "QTTSAudioGet"),
      sessionEnd(libraries, kEngineLibrary, "QTTSSessionEnd"),
      fini(libraries, kEngineLibrary, "QTTSFini") {}

SpeechSession::SpeechSession(Libraries& libraries) : SpeechSession(libraries, Text()) {
  // The engine loads the coding library, so that one goes first.
  WriteComponentFile(libraries_, kSpeexFile);
  WriteComponentFile(libraries_, kMscFile);
}

SpeechSession::SpeechSession(Libraries& libraries, Text sessionId)
    : libraries_(libraries), engine_(libraries), sessionId_(std::move(sessionId)) {}

SpeechSession::~SpeechSession() = default;

std::unique_ptr<SpeechSession> SpeechSession::Clone() const {
  return std::unique_ptr<SpeechSession>(new SpeechSession(libraries_, sessionId_));
}

int SpeechSession::Initialize(const std::optional<Text>& appId) {
  const Text configuration = Text("server_url=") + kSpeechHost +
                             ":80/index.htm,appid=" + appId.value_or(kDefaultAppId) +
                             ",timeout=10000,coding_libs=speex.dll,max_text_size=2048";
  const int result = engine_.init(configuration.c_str());
  if (result == MSC_SUCCESS || result == MSC_ERROR_ALREADY_INIT) engineStarted = true;
  return result;
}

bool SpeechSession::EngineStarted() { return engineStarted; }

int SpeechSession::Finalize() {
  if (!sessionId_.empty()) EndSession();
  const int result = engine_.fini();
  if (result == MSC_SUCCESS) engineStarted = false;
  return result;
}

int SpeechSession::EndSession() {
  if (sessionId_.empty()) return 0;
  return engine_.sessionEnd(sessionId_.c_str(), "正常关闭");
}

int SpeechSession::BeginSession(const std::optional<Text>& voice, std::optional<int> speed,
                                std::optional<int> volume, std::optional<int> background,
                                std::optional<int> pitch) {
  if (!sessionId_.empty()) {
    const int ended = EndSession();
    if (ended != 0) return ended;
  }
  const Text settledVoice = voice && !voice->empty() ? *voice : Text(kDefaultVoice);
  const int settledSpeed = speed && *speed > 0 ? *speed : kDefaultSpeed;
  const int settledVolume = volume && *volume > 0 ? *volume : kDefaultVolume;
  const int settledBackground = background.value_or(kDefaultBackground);
  const Text parameters = "ssm=1,ent=vivi21,vcn=" + settledVoice +
                          ",spd=" + std::to_string(settledSpeed) +
                          ",vol=" + std::to_string(settledVolume) +
                          (pitch ? ",pit=" + std::to_string(*pitch) : Text()) +
                          ",ttp=text,tte=GB2312,bgs=" + std::to_string(settledBackground) +
                          ",aue=speex;7,auf=audio/L16;rate=16000";
  int error = 0;
  const char* id = engine_.sessionBegin(parameters.c_str(), &error);
  // The engine starts with the first session asked of it rather than with the program:
  // its voice data and threads would cost every start, and most starts never read aloud.
  // Another reader may have started it meanwhile; either way the session is asked again.
  if (!id && error == MSC_ERROR_NOT_INIT) {
    const int started = Initialize();
    if (started == MSC_SUCCESS || started == MSC_ERROR_ALREADY_INIT)
      id = engine_.sessionBegin(parameters.c_str(), &error);
  }
  sessionId_ = id ? Text(id) : Text();
  return 0;
}

int SpeechSession::PutText(const Text& text) {
  return engine_.textPut(SessionIdOrNull(), text.c_str(), static_cast<unsigned int>(text.size()),
                         "");
}

ByteBuffer SpeechSession::ReceiveAudio(const std::function<bool()>& keepGoing) {
  ByteBuffer pcm;
  int status = 0;
  int error = 0;
  // Ends on a non-zero error code too: an engine that reports one may never say 2.
  while (status != kAllAudioDelivered) {
    unsigned int length = 0;
    const void* chunk = engine_.audioGet(SessionIdOrNull(), &length, &status, &error);
    if (chunk && length > 0) {
      const ByteBuffer bytes = libraries_.BytesFromMemory(chunk, static_cast<int>(length));
      pcm.insert(pcm.end(), bytes.begin(), bytes.end());
    }
    if (error != 0) break;
    if (keepGoing && !keepGoing()) return ByteBuffer();
  }
  ByteBuffer image = BuildWaveImage(pcm);
  if (error != 0) return ByteBuffer();
  return image;
}

ByteBuffer SpeechSession::BuildWaveImage(const ByteBuffer& pcm) const {
  return ::BuildWaveImage(pcm);
}
