#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "components/msc/msc.h"
#include "framework/BoundFunction.h"
#include "framework/Libraries.h"

// The program's one speech engine object over msc.dll: opens an engine session with
// fixed voice parameters, sends the text whole and collects the audio as a WaveImage.
// Constructing it writes speex.dll, then msc.dll, into the program's folder when they
// are missing. One user at a time: the object has no lock.
class SpeechSession {
 public:
  explicit SpeechSession(Libraries& libraries);
  // Releases the session id only; the engine session is ended by Finalize.
  virtual ~SpeechSession();
  // A new object with its own copy of the session id.
  virtual std::unique_ptr<SpeechSession> Clone() const;
  // QTTSInit with the program's configuration; the stored app id when none is given.
  virtual int Initialize(const std::optional<Text>& appId = std::nullopt);
  // Ends an open session (its result ignored), then QTTSFini's result.
  virtual int Finalize();
  // QTTSSessionEnd with "正常关闭", or 0 without calling anything when there is no session.
  // The session id stays until the next BeginSession replaces it.
  virtual int EndSession();
  // Ends the previous session (its non-zero result is returned at once), then opens a
  // new one. Absent, empty or non-positive values fall back to the defaults; a given
  // background value is used whatever its sign. A pitch is sent (",pit=N" after the
  // volume) only when given. A failed begin leaves the id empty. An engine not started
  // yet is started (Initialize) and asked once more.
  virtual int BeginSession(const std::optional<Text>& voice = std::nullopt,
                           std::optional<int> speed = std::nullopt,
                           std::optional<int> volume = std::nullopt,
                           std::optional<int> background = std::nullopt,
                           std::optional<int> pitch = std::nullopt);
  // Sends the whole text in one QTTSTextPut; the engine's result.
  virtual int PutText(const Text& text);
  // Collects the session's audio until the engine says it is complete; the WaveImage,
  // or the empty buffer when the engine ended with an error. keepGoing, when given, is
  // asked after every call into the engine; false stops at once with the empty buffer
  // (the reader's stop), leaving the session to EndSession.
  virtual ByteBuffer ReceiveAudio(const std::function<bool()>& keepGoing = nullptr);
  // The PCM behind a 44-byte WAV header.
  virtual ByteBuffer BuildWaveImage(const ByteBuffer& pcm) const;

  // The id of the last session begun; empty before the first and after a failed begin.
  const Text& SessionId() const { return sessionId_; }
  // Whether the engine, one for the whole process, was started (by any session) and not
  // finalised since: a program that never read aloud has nothing to finalise at exit, and
  // finalising would load the engine's library only to stop it.
  static bool EngineStarted();

 private:
  // The engine's functions, bound on their first call.
  struct Engine {
    explicit Engine(Libraries& libraries);
    BoundFunction<decltype(QTTSInit)> init;
    BoundFunction<decltype(QTTSSessionBegin)> sessionBegin;
    BoundFunction<decltype(QTTSTextPut)> textPut;
    BoundFunction<decltype(QTTSAudioGet)> audioGet;
    BoundFunction<decltype(QTTSSessionEnd)> sessionEnd;
    BoundFunction<decltype(QTTSFini)> fini;
  };

  SpeechSession(Libraries& libraries, Text sessionId);
  const char* SessionIdOrNull() const { return sessionId_.empty() ? nullptr : sessionId_.c_str(); }

  Libraries& libraries_;
  Engine engine_;
  Text sessionId_;
};
