#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TextPieces.h"
#include "components/speex/speex.h"

namespace msc {

// The functions of the coding library, bound when the engine starts.
struct CodingApi {
  decltype(&SpeexCodingOpen) open = nullptr;
  decltype(&SpeexCodingOutputBound) bound = nullptr;
  decltype(&SpeexCodingConvert) convert = nullptr;
  decltype(&SpeexCodingFlush) flush = nullptr;
  decltype(&SpeexCodingClose) close = nullptr;
};

struct SessionSettings {
  std::string chineseVoice;
  std::string latinVoice;
  int rate = 175;   // espeak-ng words a minute
  int volume = 70;  // espeak-ng volume
  int pitch = 50;   // espeak-ng base pitch, 0-100; 50 is the voice's own
  Encoding encoding = Encoding::Gb18030;
  int outputRate = 16000;
  bool trace = false;
};

// One session's text and audio on its way from the caller through the synthesis
// thread and the coding thread back to the caller.
struct Session {
  std::string id;
  SessionSettings settings;
  std::atomic<bool> cancelled{false};
  // Callers waiting in QTTSAudioGet; per session, so that one session's chunks do not
  // wake the callers of another.
  std::condition_variable audioReady;

  // Guarded by the engine's mutex.
  bool textPut = false;
  bool ended = false;
  bool synthDone = false;
  bool codingDone = false;
  bool endDelivered = false;
  int error = 0;
  std::string text;                      // until the synthesis thread takes it
  std::deque<std::vector<short>> raw;    // at the synthesiser's rate
  std::deque<std::vector<short>> ready;  // at the asked rate, not yet delivered
  std::size_t buffered = 0;              // bytes in raw and ready
  std::string trace;

  // Used by the coding thread only.
  SpeexCodingConverter* converter = nullptr;
};

// The process-wide engine behind the C API. espeak-ng keeps global state, so only the
// synthesis thread ever calls it; the coding thread converts rates beside it.
class Engine {
 public:
  static Engine& Instance();

  int Init(const char* configs);
  const char* SessionBegin(const char* params, int* errorCode);
  int TextPut(const char* sessionId, const char* text, unsigned int length, const char* params);
  const void* AudioGet(const char* sessionId, unsigned int* audioLength, int* status,
                       int* errorCode);
  int SessionEnd(const char* sessionId);
  int Fini();
  const char* SessionTrace(const char* sessionId, int* errorCode);

  // Called by espeak-ng on the synthesis thread; false asks it to stop.
  bool TakeSynthesised(Session& session, const short* samples, int count);

 private:
  Engine() = default;

  // The open session of that id, or null with the error code in *error.
  std::shared_ptr<Session> Find(const char* sessionId, int* error);
  bool WasIssued(const std::string& id) const;
  int StartThreads();
  void SynthesisMain();
  // 0 or the error code; runs with espeak-ng on the synthesis thread.
  int Synthesize(Session& session, std::string text);
  // The coding thread: each step is entered and left with mutex_ held.
  void CodingMain();
  bool CodingHasWork() const;
  void FinishCoding(Session& session, std::unique_lock<std::mutex>& lock);
  void ConvertPending(Session& session, std::unique_lock<std::mutex>& lock);
  void CloseRemainingConverters(std::unique_lock<std::mutex>& lock);
  bool Flush(Session& session, std::vector<short>& tail);
  bool Convert(Session& session, std::vector<short>& block);

  std::mutex lifecycle_;  // QTTSInit and QTTSFini, one at a time

  std::mutex mutex_;
  std::condition_variable synthWake_;
  std::condition_variable codingWake_;
  std::condition_variable spaceFree_;
  std::condition_variable started_;
  bool initialized_ = false;
  bool stopping_ = false;
  int startResult_ = -1;  // -1 while the synthesis thread starts
  std::uint64_t lastIssued_ = 0;
  std::map<std::string, std::shared_ptr<Session>, std::less<>> sessions_;
  std::deque<std::shared_ptr<Session>> synthQueue_;
  std::deque<std::shared_ptr<Session>> codingQueue_;

  // Set while the engine runs, before the threads start.
  void* codingLibrary_ = nullptr;
  CodingApi coding_;
  std::size_t maxTextSize_ = 4096;
  std::string appId_;      // kept for the configuration's sake; synthesis is local
  std::string serverUrl_;  // likewise
  long timeoutMs_ = 0;
  int synthRate_ = 0;
  std::string synthVoice_;  // voice|rate|volume|pitch last loaded; synthesis thread only
  std::thread synthThread_;
  std::thread codingThread_;
};

}  // namespace msc
