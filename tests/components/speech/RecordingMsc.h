#pragma once

/* A stand-in msc.dll with the engine's exports that records every call made into it,
   for tests that must see the exact calls. Controlled through the Recorder functions. */

#ifdef __cplusplus
extern "C" {
#endif

#define RECORDER_API __attribute__((visibility("default")))

/* Forgets the calls and the script; every function then returns 0, QTTSSessionBegin
   hands out "sid-1", "sid-2" ... and QTTSAudioGet reports the end at once. */
RECORDER_API void RecorderReset(void);
/* The result of the named function from now on (QTTSInit, QTTSTextPut, QTTSSessionEnd,
   QTTSFini); for QTTSSessionBegin, 0 makes it return null and 1 hands out ids again,
   MSC_ERROR_NOT_INIT makes it refuse with that code until QTTSInit succeeds. */
RECORDER_API void RecorderSetResult(const char* function, int result);
/* Queues one answer of QTTSAudioGet: length bytes of data (null data: a null pointer
   with that length), the status and the error code. Without queued answers it
   answers null, length 0, status 2, error 0. */
RECORDER_API void RecorderQueueAudio(const void* data, unsigned int length, int status, int error);
/* The next QTTSAudioGet of the session (of any session for null) is recorded, then
   waits before it answers until RecorderRelease (at most 10 s): the caller is held
   inside the engine. RecorderHolding says whether a call waits now. */
RECORDER_API void RecorderHoldAudioGet(const char* sessionID);
RECORDER_API int RecorderHolding(void);
RECORDER_API void RecorderRelease(void);
/* The calls so far, one line each: the function's name, then its arguments separated
   by '|'; a null text is written <null>. */
RECORDER_API int RecorderCallCount(void);
RECORDER_API const char* RecorderCall(int index);

#ifdef __cplusplus
}
#endif
