// A stand-in bass.dll with the same exports that records every call it receives as
// one line of text, for tests that must see exactly what the program passes.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "components/bass/bass.h"

namespace {

std::mutex lock;
std::string log;

void Record(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::lock_guard guard(lock);
  log += line;
  log += '\n';
}

const char kTag[] = "TAGRecorded\0after the zero";
std::atomic<DWORD> activeState{BASS_ACTIVE_STALLED};
std::atomic<BOOL> initResult{TRUE};
std::atomic<QWORD> position{4000};
std::atomic<int> pushes{0};
std::atomic<int> failingPush{0};

}  // namespace

extern "C" {

// What BASS_ChannelIsActive answers from now on (stalled until set).
BASS_API void RecorderSetActive(DWORD state) { activeState = state; }

// What BASS_Init answers from now on (TRUE until set): FALSE plays a missing device.
BASS_API void RecorderSetInitResult(BOOL result) { initResult = result; }

// What BASS_ChannelGetPosition answers from now on (4000 until set).
BASS_API void RecorderSetPosition(QWORD bytes) { position = bytes; }

// BASS_StreamPutData refuses (answers -1) from the push of that number on, counted
// from 1 after this call; 0 (the start) never.
BASS_API void RecorderFailPushesFrom(int push) {
  pushes = 0;
  failingPush = push;
}

// The calls so far, one per line, and then forgets them.
BASS_API const char* RecorderTakeLog() {
  static std::string taken;
  std::lock_guard guard(lock);
  taken = log;
  log.clear();
  return taken.c_str();
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid) {
  Record("BASS_Init(%d,%u,%u,%p,%p)", device, freq, flags, win, dsguid);
  return initResult;
}
BOOL BASS_Free(void) {
  Record("BASS_Free()");
  return TRUE;
}
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  if (mem)
    Record("BASS_StreamCreateFile(mem,%p,%llu,%llu,%u)", file,
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length), flags);
  else
    Record("BASS_StreamCreateFile(file,%s,%llu,%llu,%u)", static_cast<const char*>(file),
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length), flags);
  return 7;
}
HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                             void* user) {
  Record("BASS_StreamCreateURL(%s,%u,%u,%p,%p)", url, offset, flags, reinterpret_cast<void*>(proc),
         user);
  return 8;
}
HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user) {
  Record("BASS_StreamCreate(%u,%u,%u,%s,%p)", freq, chans, flags,
         proc == STREAMPROC_PUSH ? "push" : "other", user);
  return 7;
}
// Keeps a total of what was pushed, and answers it as the bytes still queued.
DWORD BASS_StreamPutData(HSTREAM handle, const void* buffer, DWORD length) {
  static std::atomic<DWORD> pushed{0};
  const DWORD bytes = length & ~BASS_STREAMPROC_END;
  Record("BASS_StreamPutData(%u,%s,%u%s)", handle, buffer ? "data" : "null", bytes,
         length & BASS_STREAMPROC_END ? "|end" : "");
  if (failingPush > 0 && ++pushes >= failingPush) return static_cast<DWORD>(-1);
  return pushed += bytes;
}
BOOL BASS_StreamFree(HSTREAM handle) {
  Record("BASS_StreamFree(%u)", handle);
  return TRUE;
}
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  Record("BASS_ChannelPlay(%u,%d)", handle, restart);
  return TRUE;
}
BOOL BASS_ChannelPause(DWORD handle) {
  Record("BASS_ChannelPause(%u)", handle);
  return TRUE;
}
BOOL BASS_ChannelStop(DWORD handle) {
  Record("BASS_ChannelStop(%u)", handle);
  return TRUE;
}
DWORD BASS_ChannelIsActive(DWORD handle) {
  Record("BASS_ChannelIsActive(%u)", handle);
  return activeState.load();
}
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  Record("BASS_ChannelGetPosition(%u,%u)", handle, mode);
  return position.load();
}
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  Record("BASS_ChannelSetPosition(%u,%llu,%u)", handle, static_cast<unsigned long long>(pos), mode);
  return TRUE;
}
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  Record("BASS_ChannelGetLength(%u,%u)", handle, mode);
  return 9000;
}
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  Record("BASS_ChannelBytes2Seconds(%u,%llu)", handle, static_cast<unsigned long long>(pos));
  return 2.5;
}
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  Record("BASS_ChannelSeconds2Bytes(%u,%g)", handle, pos);
  return 640;
}
const char* BASS_ChannelGetTags(DWORD handle, DWORD tags) {
  Record("BASS_ChannelGetTags(%u,%u)", handle, tags);
  return handle == 7 ? kTag : nullptr;
}
// Writes three values only, so that a caller can see what it had before.
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  Record("BASS_ChannelGetData(%u,%#x)", handle, length);
  auto* values = static_cast<float*>(buffer);
  values[0] = values[1] = values[2] = 1.5f;
  return 3 * sizeof(float);
}
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  Record("BASS_ChannelSetAttribute(%u,%u,%g)", handle, attrib, value);
  return TRUE;
}
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
  Record("BASS_ChannelGetAttribute(%u,%u)", handle, attrib);
  *value = 0.75f;
  return TRUE;
}
BOOL BASS_SetVolume(float volume) {
  Record("BASS_SetVolume(%g)", volume);
  return TRUE;
}
float BASS_GetVolume(void) {
  Record("BASS_GetVolume()");
  return 0.5f;
}

}  // extern "C"
