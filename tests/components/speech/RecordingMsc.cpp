#include "RecordingMsc.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "components/msc/msc.h"

namespace {

struct Answer {
  bool null = false;
  std::string data;
  unsigned int length = 0;
  int status = 0;
  int error = 0;
};

struct Recorder {
  std::mutex mutex;
  std::vector<std::string> calls;
  std::map<std::string, int> results;
  std::deque<Answer> answers;
  std::string answerData;  // the chunk last handed out
  std::string sessionId;   // likewise
  int nextSession = 1;
  bool beginSucceeds = true;
  int beginError = 0;  // the code of a refused begin
  // A held QTTSAudioGet: asked for, waiting, let go.
  bool hold = false;
  std::string holdSession;  // empty: any
  bool holding = false;
  bool released = false;
  std::condition_variable changed;
};

Recorder& State() {
  static Recorder recorder;
  return recorder;
}

std::string Show(const char* text) { return text ? std::string(text) : std::string("<null>"); }

void Record(const std::string& line) { State().calls.push_back(line); }

int Result(const char* function) {
  const auto found = State().results.find(function);
  return found == State().results.end() ? 0 : found->second;
}

}  // namespace

extern "C" {

void RecorderReset(void) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  r.calls.clear();
  r.results.clear();
  r.answers.clear();
  r.nextSession = 1;
  r.beginSucceeds = true;
  r.beginError = 0;
  r.hold = false;
  r.released = true;  // a call still held goes on
  r.changed.notify_all();
}

void RecorderHoldAudioGet(const char* sessionID) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  r.hold = true;
  r.holdSession = sessionID ? sessionID : "";
  r.released = false;
}

int RecorderHolding(void) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  return r.holding ? 1 : 0;
}

void RecorderRelease(void) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  r.released = true;
  r.changed.notify_all();
}

void RecorderSetResult(const char* function, int result) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  if (std::string(function) == "QTTSSessionBegin") {
    r.beginSucceeds = result == 1;
    r.beginError = result == 0 || result == 1 ? 0 : result;
  } else
    r.results[function] = result;
}

void RecorderQueueAudio(const void* data, unsigned int length, int status, int error) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  Answer answer;
  answer.null = data == nullptr;
  if (data) answer.data.assign(static_cast<const char*>(data), length);
  answer.length = length;
  answer.status = status;
  answer.error = error;
  r.answers.push_back(answer);
}

int RecorderCallCount(void) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  return static_cast<int>(r.calls.size());
}

const char* RecorderCall(int index) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  if (index < 0 || index >= static_cast<int>(r.calls.size())) return nullptr;
  return r.calls[static_cast<std::size_t>(index)].c_str();
}

int QTTSInit(const char* configs) {
  std::lock_guard lock(State().mutex);
  Record("QTTSInit|" + Show(configs));
  const int result = Result("QTTSInit");
  // A started engine takes sessions.
  if (result == 0 && State().beginError == MSC_ERROR_NOT_INIT) {
    State().beginSucceeds = true;
    State().beginError = 0;
  }
  return result;
}

const char* QTTSSessionBegin(const char* params, int* errorCode) {
  Recorder& r = State();
  std::lock_guard lock(r.mutex);
  Record("QTTSSessionBegin|" + Show(params) + "|" + (errorCode ? "<pointer>" : "<null>"));
  if (errorCode) *errorCode = r.beginSucceeds ? 0 : r.beginError;
  if (!r.beginSucceeds) return nullptr;
  r.sessionId = "sid-" + std::to_string(r.nextSession++);
  return r.sessionId.c_str();
}

int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen,
                const char* params) {
  std::lock_guard lock(State().mutex);
  const std::string text = textString ? std::string(textString, textLen) : "<null>";
  Record("QTTSTextPut|" + Show(sessionID) + "|" + text + "|" + std::to_string(textLen) + "|" +
         Show(params));
  return Result("QTTSTextPut");
}

const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus,
                         int* errorCode) {
  Recorder& r = State();
  std::unique_lock lock(r.mutex);
  Record("QTTSAudioGet|" + Show(sessionID));
  if (r.hold && (r.holdSession.empty() || r.holdSession == Show(sessionID))) {
    r.hold = false;
    r.holding = true;
    r.changed.wait_for(lock, std::chrono::seconds(10), [&r] { return r.released; });
    r.holding = false;
  }
  Answer answer;
  answer.null = true;
  answer.status = 2;
  if (!r.answers.empty()) {
    answer = r.answers.front();
    r.answers.pop_front();
  }
  *audioLen = answer.length;
  *synthStatus = answer.status;
  *errorCode = answer.error;
  if (answer.null) return nullptr;
  r.answerData = answer.data;
  return r.answerData.data();
}

int QTTSSessionEnd(const char* sessionID, const char* hints) {
  std::lock_guard lock(State().mutex);
  Record("QTTSSessionEnd|" + Show(sessionID) + "|" + Show(hints));
  return Result("QTTSSessionEnd");
}

int QTTSFini(void) {
  std::lock_guard lock(State().mutex);
  Record("QTTSFini");
  return Result("QTTSFini");
}

}  // extern "C"
