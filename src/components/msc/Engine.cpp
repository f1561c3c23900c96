#include "Engine.h"

#include <dlfcn.h>
#include <espeak-ng/speak_lib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <tuple>

#include "Params.h"
#include "msc.h"

namespace msc {

namespace {

// Undelivered audio a session may hold before synthesis waits for the caller; keeps an
// abandoned session with a long text from filling the memory.
constexpr std::size_t kBufferedLimit = std::size_t{32} << 20;
// How long QTTSAudioGet waits for a chunk before it returns empty-handed.
constexpr auto kAudioWait = std::chrono::milliseconds(5);
// espeak-ng peaks at full scale; 0.7 leaves 3 dB for the rate conversion's overshoot.
constexpr float kHeadroomGain = 0.7f;
// Length of audio espeak-ng hands over per callback, and so of most chunks: long enough
// that a caller spends little on each, while the first still comes within a millisecond.
constexpr int kSynthBufferMs = 400;
constexpr const char* kIdPrefix = "msc-";

thread_local Session* synthesizing = nullptr;
thread_local std::vector<short> deliveredChunk;
thread_local std::string deliveredTrace;

int SynthCallback(short* samples, int count, espeak_EVENT*) {
  Session* session = synthesizing;
  if (!session || session->cancelled.load()) return 1;
  if (samples && count > 0 && !Engine::Instance().TakeSynthesised(*session, samples, count))
    return 1;
  return session->cancelled.load() ? 1 : 0;
}

void SetError(int* errorCode, int value) {
  if (errorCode) *errorCode = value;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "audio/L16;rate=16000" → 16000; 0 when not supported.
int ParseAudioFormat(std::string_view format) {
  const auto semicolon = format.find(';');
  if (!EqualsIgnoringCase(format.substr(0, semicolon), "audio/L16")) return 0;
  if (semicolon == std::string_view::npos) return 16000;
  std::string_view rest = format.substr(semicolon + 1);
  if (rest.substr(0, 5) != "rate=") return 0;
  const auto rate = ParseInteger(rest.substr(5), 8000, 16000);
  return rate && (*rate == 8000 || *rate == 16000) ? static_cast<int>(*rate) : 0;
}

// The espeak-ng variant a voice name stands for: "xiaoyu" is the Mandarin voice itself
// (male), "male1".."male8" and "female1".."female5" its variants of those names; any
// other name, "xiaoyan" among them, is the engine's default voice, female2.
std::string VoiceVariant(std::string_view name) {
  if (EqualsIgnoringCase(name, "xiaoyu")) return {};
  for (const auto& [prefix, letter, count] :
       {std::tuple{std::string_view("female"), 'f', 5}, {std::string_view("male"), 'm', 8}}) {
    if (name.size() != prefix.size() + 1 ||
        !EqualsIgnoringCase(name.substr(0, prefix.size()), prefix))
      continue;
    const char digit = name.back();
    if (digit >= '1' && digit < '1' + count) return std::string("+") + letter + digit;
  }
  return "+f2";
}

// Fills the settings from session parameters; 0 or an error code.
int ReadSettings(const Params& params, SessionSettings& settings) {
  int speed = 5;
  int volume = 5;
  int pitch = 5;
  std::string variant = "+f2";
  if (auto found = params.find("vcn"); found != params.end()) variant = VoiceVariant(found->second);
  if (auto found = params.find("spd"); found != params.end()) {
    const auto value = ParseInteger(found->second, 0, 10);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    speed = static_cast<int>(*value);
  }
  if (auto found = params.find("vol"); found != params.end()) {
    const auto value = ParseInteger(found->second, 0, 10);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    volume = static_cast<int>(*value);
  }
  if (auto found = params.find("pit"); found != params.end()) {
    const auto value = ParseInteger(found->second, 0, 10);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    pitch = static_cast<int>(*value);
  }
  if (auto found = params.find("tte"); found != params.end()) {
    const std::string& name = found->second;
    if (EqualsIgnoringCase(name, "GB2312") || EqualsIgnoringCase(name, "GBK") ||
        EqualsIgnoringCase(name, "GB18030"))
      settings.encoding = Encoding::Gb18030;
    else if (EqualsIgnoringCase(name, "UTF8") || EqualsIgnoringCase(name, "UTF-8"))
      settings.encoding = Encoding::Utf8;
    else
      return MSC_ERROR_INVALID_VALUE;
  }
  if (auto found = params.find("auf"); found != params.end()) {
    settings.outputRate = ParseAudioFormat(found->second);
    if (settings.outputRate == 0) return MSC_ERROR_INVALID_VALUE;
  }
  if (auto found = params.find("bgs"); found != params.end()) {
    if (!ParseInteger(found->second, -1000000, 1000000)) return MSC_ERROR_INVALID_VALUE;
  }
  if (auto found = params.find("trace"); found != params.end()) {
    const auto value = ParseInteger(found->second, 0, 1);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    settings.trace = *value == 1;
  }
  settings.chineseVoice = "cmn-latn-pinyin" + variant;
  settings.latinVoice = "en-us" + variant;
  settings.rate = static_cast<int>(std::lround(175.0 * std::exp2((speed - 5) / 5.0)));
  settings.volume = volume == 0 ? 0 : 40 + 6 * volume;
  settings.pitch = 10 * pitch;
  return MSC_SUCCESS;
}

// The absolute folder this library was loaded from; empty when unknown. Never "."
// or a relative path: the coding library must not be looked for in the current
// folder.
std::string OwnFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&QTTSInit), &info) || !info.dli_fname) return {};
  const std::string path = info.dli_fname;
  const auto slash = path.rfind('/');
  if (path[0] != '/' || slash == std::string::npos) return {};
  return path.substr(0, slash);
}

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  std::string out;
  for (std::size_t i = first; i <= last; ++i)
    if (!(text[i] == ' ' && !out.empty() && out.back() == ' ')) out.push_back(text[i]);
  return out;
}

}  // namespace

Engine& Engine::Instance() {
  // Never destroyed: threads may still be inside it while the process exits.
  static Engine* engine = new Engine;
  return *engine;
}

int Engine::Init(const char* configs) {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::lock_guard lock(mutex_);
    if (initialized_) return MSC_ERROR_ALREADY_INIT;
  }
  if (!configs) return MSC_ERROR_NULL_ARGUMENT;
  const auto params = ParseParams(configs);
  if (!params) return MSC_ERROR_MALFORMED_PARAMS;

  std::size_t maxTextSize = 4096;
  long timeout = 0;
  if (auto found = params->find("max_text_size"); found != params->end()) {
    const auto value = ParseInteger(found->second, 16, 1 << 20);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    maxTextSize = static_cast<std::size_t>(*value);
  }
  if (auto found = params->find("timeout"); found != params->end()) {
    const auto value = ParseInteger(found->second, 0, 0x7FFFFFFF);
    if (!value) return MSC_ERROR_INVALID_VALUE;
    timeout = *value;
  }
  const auto library = params->find("coding_libs");
  if (library == params->end() || library->second.empty()) return MSC_ERROR_CODING_LIB;
  if (library->second.find('/') != std::string::npos) return MSC_ERROR_INVALID_VALUE;

  const std::string folder = OwnFolder();
  if (folder.empty()) return MSC_ERROR_CODING_LIB;
  void* handle = dlopen((folder + "/" + library->second).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return MSC_ERROR_CODING_LIB;
  CodingApi api;
  if (!Bind(handle, "SpeexCodingOpen", api.open) ||
      !Bind(handle, "SpeexCodingOutputBound", api.bound) ||
      !Bind(handle, "SpeexCodingConvert", api.convert) ||
      !Bind(handle, "SpeexCodingFlush", api.flush) ||
      !Bind(handle, "SpeexCodingClose", api.close)) {
    dlclose(handle);
    return MSC_ERROR_CODING_LIB;
  }

  codingLibrary_ = handle;
  coding_ = api;
  maxTextSize_ = maxTextSize;
  timeoutMs_ = timeout;
  const auto appId = params->find("appid");
  appId_ = appId == params->end() ? std::string() : appId->second;
  const auto serverUrl = params->find("server_url");
  serverUrl_ = serverUrl == params->end() ? std::string() : serverUrl->second;

  const int started = StartThreads();
  if (started != MSC_SUCCESS) {
    dlclose(codingLibrary_);
    codingLibrary_ = nullptr;
    return started;
  }
  std::lock_guard lock(mutex_);
  initialized_ = true;
  return MSC_SUCCESS;
}

int Engine::StartThreads() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
    startResult_ = -1;
  }
  try {
    synthThread_ = std::thread(&Engine::SynthesisMain, this);
  } catch (const std::system_error&) {
    return MSC_ERROR_SYNTHESIS;
  }
  std::unique_lock lock(mutex_);
  started_.wait(lock, [this] { return startResult_ != -1; });
  const int result = startResult_;
  lock.unlock();
  if (result == MSC_SUCCESS) {
    try {
      codingThread_ = std::thread(&Engine::CodingMain, this);
      return MSC_SUCCESS;
    } catch (const std::system_error&) {
    }
  }
  lock.lock();
  stopping_ = true;
  synthWake_.notify_all();
  lock.unlock();
  synthThread_.join();
  return MSC_ERROR_SYNTHESIS;
}

const char* Engine::SessionBegin(const char* params, int* errorCode) {
  const auto parsed = ParseParams(params ? params : "");
  auto session = std::make_shared<Session>();
  int result = parsed ? ReadSettings(*parsed, session->settings) : MSC_ERROR_MALFORMED_PARAMS;
  std::lock_guard lock(mutex_);
  if (!initialized_) result = MSC_ERROR_NOT_INIT;
  if (result != MSC_SUCCESS) {
    SetError(errorCode, result);
    return nullptr;
  }
  session->id = kIdPrefix + std::to_string(++lastIssued_);
  const char* id = session->id.c_str();
  sessions_.emplace(session->id, std::move(session));
  SetError(errorCode, MSC_SUCCESS);
  return id;
}

bool Engine::WasIssued(const std::string& id) const {
  const std::string_view prefix = kIdPrefix;
  if (id.compare(0, prefix.size(), prefix) != 0) return false;
  const auto number =
      ParseInteger(std::string_view(id).substr(prefix.size()), 1, 0x7FFFFFFFFFFFFFFF);
  return number && static_cast<std::uint64_t>(*number) <= lastIssued_ &&
         std::to_string(*number) == id.substr(prefix.size());
}

std::shared_ptr<Session> Engine::Find(const char* sessionId, int* error) {
  if (!initialized_) {
    *error = MSC_ERROR_NOT_INIT;
    return nullptr;
  }
  if (!sessionId) {
    *error = MSC_ERROR_INVALID_SESSION;
    return nullptr;
  }
  const auto found = sessions_.find(std::string_view(sessionId));
  if (found == sessions_.end()) {
    *error = WasIssued(sessionId) ? MSC_ERROR_SESSION_ENDED : MSC_ERROR_INVALID_SESSION;
    return nullptr;
  }
  *error = MSC_SUCCESS;
  return found->second;
}

int Engine::TextPut(const char* sessionId, const char* text, unsigned int length,
                    const char* params) {
  if (params && !ParseParams(params)) return MSC_ERROR_MALFORMED_PARAMS;
  std::lock_guard lock(mutex_);
  int error = MSC_SUCCESS;
  const auto session = Find(sessionId, &error);
  if (!session) return error;
  if (length > 0 && !text) return MSC_ERROR_NULL_ARGUMENT;
  if (session->textPut) return MSC_ERROR_TEXT_ALREADY_PUT;
  try {
    session->text.assign(text ? text : "", length);
  } catch (const std::bad_alloc&) {
    return MSC_ERROR_SYNTHESIS;
  }
  session->textPut = true;
  synthQueue_.push_back(session);
  codingQueue_.push_back(session);
  synthWake_.notify_one();
  return MSC_SUCCESS;
}

const void* Engine::AudioGet(const char* sessionId, unsigned int* audioLength, int* status,
                             int* errorCode) {
  const auto fail = [&](int error) -> const void* {
    if (audioLength) *audioLength = 0;
    if (status) *status = MSC_TTS_AUDIO_END;
    SetError(errorCode, error);
    return nullptr;
  };
  if (!audioLength || !status || !errorCode) return fail(MSC_ERROR_NULL_ARGUMENT);
  std::unique_lock lock(mutex_);
  int error = MSC_SUCCESS;
  const auto session = Find(sessionId, &error);
  if (!session) return fail(error);
  if (!session->textPut) return fail(MSC_ERROR_NO_TEXT);
  const auto settled = [&] {
    return !session->ready.empty() || session->codingDone || session->error != 0 ||
           session->ended || session->endDelivered;
  };
  if (!settled()) session->audioReady.wait_for(lock, kAudioWait, settled);
  if (session->ended) return fail(MSC_ERROR_SESSION_ENDED);
  if (session->error != 0) return fail(session->error);
  *errorCode = MSC_SUCCESS;
  *audioLength = 0;
  if (session->ready.empty()) {
    if (session->codingDone) session->endDelivered = true;
    *status = session->endDelivered ? MSC_TTS_AUDIO_END : MSC_TTS_MORE_AUDIO;
    return nullptr;
  }
  deliveredChunk = std::move(session->ready.front());
  session->ready.pop_front();
  session->buffered -= deliveredChunk.size() * sizeof(short);
  spaceFree_.notify_all();
  if (session->ready.empty() && session->codingDone) session->endDelivered = true;
  *status = session->endDelivered ? MSC_TTS_AUDIO_END : MSC_TTS_MORE_AUDIO;
  *audioLength = static_cast<unsigned int>(deliveredChunk.size() * sizeof(short));
  return deliveredChunk.data();
}

int Engine::SessionEnd(const char* sessionId) {
  std::lock_guard lock(mutex_);
  int error = MSC_SUCCESS;
  const auto session = Find(sessionId, &error);
  if (!session) return error == MSC_ERROR_SESSION_ENDED ? MSC_SUCCESS : error;
  sessions_.erase(session->id);
  session->ended = true;
  session->cancelled = true;
  session->raw.clear();
  session->ready.clear();
  session->buffered = 0;
  // Wake whoever waits for this session: a caller in QTTSAudioGet, the synthesiser
  // waiting for room, the coding thread.
  session->audioReady.notify_all();
  spaceFree_.notify_all();
  codingWake_.notify_all();
  return MSC_SUCCESS;
}

int Engine::Fini() {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::lock_guard lock(mutex_);
    if (!initialized_) return MSC_ERROR_NOT_INIT;
    if (!sessions_.empty()) return MSC_ERROR_SESSION_OPEN;
    initialized_ = false;
    stopping_ = true;
    synthWake_.notify_all();
    codingWake_.notify_all();
    spaceFree_.notify_all();
  }
  synthThread_.join();
  codingThread_.join();
  {
    std::lock_guard lock(mutex_);
    synthQueue_.clear();
    codingQueue_.clear();
    stopping_ = false;
  }
  dlclose(codingLibrary_);
  codingLibrary_ = nullptr;
  coding_ = CodingApi();
  return MSC_SUCCESS;
}

const char* Engine::SessionTrace(const char* sessionId, int* errorCode) {
  std::lock_guard lock(mutex_);
  int error = MSC_SUCCESS;
  const auto session = Find(sessionId, &error);
  if (session && !session->settings.trace) error = MSC_ERROR_INVALID_VALUE;
  SetError(errorCode, error);
  if (error != MSC_SUCCESS) return nullptr;
  deliveredTrace = session->trace;
  return deliveredTrace.c_str();
}

void Engine::SynthesisMain() {
  // espeak-ng 1.51's espeak_Terminate can hang waiting for its own idle queue thread, so
  // the synthesiser is started once per process and left running across QTTSFini.
  static const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kSynthBufferMs, nullptr,
                                            espeakINITIALIZE_DONT_EXIT);
  {
    std::lock_guard lock(mutex_);
    synthRate_ = rate;
    startResult_ = rate > 0 ? MSC_SUCCESS : MSC_ERROR_SYNTHESIS;
    started_.notify_all();
  }
  if (rate <= 0) return;
  espeak_SetSynthCallback(&SynthCallback);
  std::unique_lock lock(mutex_);
  while (true) {
    synthWake_.wait(lock, [this] { return stopping_ || !synthQueue_.empty(); });
    if (stopping_) break;
    const std::shared_ptr<Session> session = synthQueue_.front();
    synthQueue_.pop_front();
    std::string text = std::move(session->text);
    session->text = std::string();
    lock.unlock();
    int failure = MSC_SUCCESS;
    try {
      failure = Synthesize(*session, std::move(text));
    } catch (const std::exception&) {
      failure = MSC_ERROR_SYNTHESIS;
    }
    synthesizing = nullptr;
    lock.lock();
    if (failure != MSC_SUCCESS && session->error == MSC_SUCCESS) session->error = failure;
    session->synthDone = true;
    codingWake_.notify_all();
    session->audioReady.notify_all();
  }
}

int Engine::Synthesize(Session& session, std::string text) {
  if (session.cancelled) return MSC_SUCCESS;
  const SessionSettings& settings = session.settings;
  const std::vector<Character> characters = Decode(text, settings.encoding);
  text = std::string();
  synthesizing = &session;
  int failure = MSC_SUCCESS;
  for (const Piece& piece : CutPieces(characters, maxTextSize_)) {
    if (session.cancelled || failure) break;
    std::string trace = settings.trace ? "piece " + std::to_string(piece.bytes) + "\n" : "";
    const std::vector<Run> runs =
        SplitRuns(characters.data() + piece.begin, characters.data() + piece.end);
    for (std::size_t r = 0; r < runs.size() && !session.cancelled; ++r) {
      const Run& run = runs[r];
      const std::string& voice = run.latin ? settings.latinVoice : settings.chineseVoice;
      // Loading a voice reads its dictionary: short sessions in a row with the same voice
      // and settings keep the loaded one (a load also resets what the parameters set).
      const std::string loaded = voice + "|" + std::to_string(settings.rate) + "|" +
                                 std::to_string(settings.volume) + "|" +
                                 std::to_string(settings.pitch);
      if (loaded != synthVoice_) {
        if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
          synthVoice_.clear();
          failure = MSC_ERROR_SYNTHESIS;
          break;
        }
        synthVoice_ = loaded;
      }
      espeak_SetParameter(espeakRATE, settings.rate, 0);
      espeak_SetParameter(espeakVOLUME, settings.volume, 0);
      espeak_SetParameter(espeakPITCH, settings.pitch, 0);
      char* phonemes = nullptr;
      std::size_t phonemeBytes = 0;
      FILE* phonemeStream = settings.trace ? open_memstream(&phonemes, &phonemeBytes) : nullptr;
      if (phonemeStream) espeak_SetPhonemeTrace(espeakPHONEMES_SHOW, phonemeStream);
      // A pause after the piece's last run only: runs inside a sentence flow on.
      const unsigned flags = espeakCHARS_WCHAR | (r + 1 == runs.size() ? espeakENDPAUSE : 0);
      const espeak_ERROR result =
          espeak_Synth(run.text.c_str(), (run.text.size() + 1) * sizeof(wchar_t), 0, POS_CHARACTER,
                       0, flags, nullptr, nullptr);
      if (phonemeStream) {
        espeak_SetPhonemeTrace(0, nullptr);
        std::fclose(phonemeStream);
        trace += "run " + voice + " " + OneLine(phonemes ? phonemes : "") + "\n";
        std::free(phonemes);
      }
      if (result != EE_OK && !session.cancelled) failure = MSC_ERROR_SYNTHESIS;
    }
    if (settings.trace) {
      std::lock_guard lock(mutex_);
      session.trace += trace;
    }
  }
  return failure;
}

bool Engine::TakeSynthesised(Session& session, const short* samples, int count) {
  std::vector<short> block;
  try {
    block.assign(samples, samples + count);
  } catch (const std::bad_alloc&) {
    std::lock_guard lock(mutex_);
    session.error = MSC_ERROR_SYNTHESIS;
    return false;
  }
  std::unique_lock lock(mutex_);
  spaceFree_.wait(
      lock, [&] { return session.cancelled || stopping_ || session.buffered < kBufferedLimit; });
  if (session.cancelled || stopping_) return false;
  session.buffered += block.size() * sizeof(short);
  session.raw.push_back(std::move(block));
  codingWake_.notify_all();
  return true;
}

void Engine::CodingMain() {
  std::unique_lock lock(mutex_);
  while (true) {
    codingWake_.wait(lock, [this] { return CodingHasWork(); });
    if (stopping_) break;
    const std::shared_ptr<Session> session = codingQueue_.front();
    if (session->cancelled || (session->raw.empty() && session->synthDone)) {
      codingQueue_.pop_front();
      FinishCoding(*session, lock);
    } else {
      ConvertPending(*session, lock);
    }
  }
  CloseRemainingConverters(lock);
}

bool Engine::CodingHasWork() const {
  if (stopping_) return true;
  if (codingQueue_.empty()) return false;
  const Session& front = *codingQueue_.front();
  return front.cancelled || !front.raw.empty() || front.synthDone;
}

// A session that is cancelled or fully synthesised: the converter's tail is delivered
// (unless cancelled or ended) and the session's audio is complete.
void Engine::FinishCoding(Session& session, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  std::vector<short> tail;
  const bool ok = Flush(session, tail);
  coding_.close(session.converter);
  session.converter = nullptr;
  lock.lock();
  if (!ok && session.error == 0) session.error = MSC_ERROR_SYNTHESIS;
  if (!tail.empty() && !session.ended) {
    session.buffered += tail.size() * sizeof(short);
    session.ready.push_back(std::move(tail));
  }
  session.codingDone = true;
  session.audioReady.notify_all();
}

// What the converter still holds; nothing for a cancelled session or one that never
// had audio.
bool Engine::Flush(Session& session, std::vector<short>& tail) {
  if (!session.converter || session.cancelled) return true;
  tail.resize(coding_.bound(session.converter, 0));
  unsigned written = 0;
  const bool ok = coding_.flush(session.converter, tail.data(), static_cast<unsigned>(tail.size()),
                                &written) == SPEEX_CODING_OK;
  tail.resize(written);
  return ok;
}

// Everything synthesised so far is converted in one go: fewer, larger chunks when the
// caller or this thread falls behind. A failure cancels the session.
void Engine::ConvertPending(Session& session, std::unique_lock<std::mutex>& lock) {
  std::vector<short> block;
  std::size_t rawBytes = 0;
  for (const auto& part : session.raw) rawBytes += part.size() * sizeof(short);
  bool ok = true;
  if (session.raw.size() == 1) {
    block = std::move(session.raw.front());
  } else {
    try {
      block.reserve(rawBytes / sizeof(short));
      for (const auto& part : session.raw) block.insert(block.end(), part.begin(), part.end());
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  session.raw.clear();
  lock.unlock();
  ok = ok && Convert(session, block);
  lock.lock();
  if (session.ended) return;
  session.buffered -= rawBytes;
  if (!ok) {
    session.error = MSC_ERROR_SYNTHESIS;
    session.cancelled = true;
  } else if (!block.empty()) {
    session.buffered += block.size() * sizeof(short);
    session.ready.push_back(std::move(block));
  }
  spaceFree_.notify_all();
  session.audioReady.notify_all();
}

// The engine stops: converters must go before the coding library does.
void Engine::CloseRemainingConverters(std::unique_lock<std::mutex>& lock) {
  std::deque<std::shared_ptr<Session>> remaining;
  remaining.swap(codingQueue_);
  lock.unlock();
  for (const auto& session : remaining) {
    coding_.close(session->converter);
    session->converter = nullptr;
  }
}

// Converts the block in place to the session's rate.
bool Engine::Convert(Session& session, std::vector<short>& block) {
  if (!session.converter) {
    int error = 0;
    session.converter =
        coding_.open(synthRate_, session.settings.outputRate, kHeadroomGain, &error);
    if (!session.converter) return false;
  }
  std::vector<short> out;
  try {
    out.resize(coding_.bound(session.converter, static_cast<unsigned>(block.size())));
  } catch (const std::bad_alloc&) {
    return false;
  }
  unsigned written = 0;
  if (coding_.convert(session.converter, block.data(), static_cast<unsigned>(block.size()),
                      out.data(), static_cast<unsigned>(out.size()), &written) != SPEEX_CODING_OK)
    return false;
  out.resize(written);
  block.swap(out);
  return true;
}

}  // namespace msc
