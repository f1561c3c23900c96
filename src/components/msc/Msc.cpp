// The C API of msc.dll; the work is done by msc::Engine.
#include "msc.h"
#include "Engine.h"

extern "C" {

int QTTSInit(const char* configs) { return msc::Engine::Instance().Init(configs); }

const char* QTTSSessionBegin(const char* params, int* errorCode) {
  return msc::Engine::Instance().SessionBegin(params, errorCode);
}

int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen,
                const char* params) {
  return msc::Engine::Instance().TextPut(sessionID, textString, textLen, params);
}

const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus,
                         int* errorCode) {
  return msc::Engine::Instance().AudioGet(sessionID, audioLen, synthStatus, errorCode);
}

int QTTSSessionEnd(const char* sessionID, const char* /*hints*/) {
  return msc::Engine::Instance().SessionEnd(sessionID);
}

int QTTSFini(void) { return msc::Engine::Instance().Fini(); }

const char* MscSessionTrace(const char* sessionID, int* errorCode) {
  return msc::Engine::Instance().SessionTrace(sessionID, errorCode);
}

}  // extern "C"
