/* bass.dll: the program's audio library. Output through SDL2, streams from memory,
   files and URLs, positions, volumes, ID3v1 tags and FFT spectra.

   Every function may be called from any thread. A bad or freed handle, a missing
   device and unusable audio data give the failure value: 0, FALSE or -1. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BASS_API __attribute__((visibility("default")))

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM; /* a stream: also usable as a channel */
typedef DWORD HCHANNEL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

/* BASS_Init devices: -1 the default output, 0 no sound (playback still runs in
   real time), 1 and up SDL's output devices in their order. */
#define BASS_DEVICE_DEFAULT (-1)
#define BASS_DEVICE_NOSOUND 0

/* BASS_ChannelIsActive */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2 /* playing, but waiting for data */
#define BASS_ACTIVE_PAUSED 3

/* Positions and lengths count bytes of the stream's decoded 16-bit PCM, at its own
   sample rate and channel count. */
#define BASS_POS_BYTE 0

/* BASS_ChannelGetTags */
#define BASS_TAG_ID3 0 /* the 128-byte ID3v1 block at the end of the data */

/* BASS_ChannelGetData: spectra of what is being heard, Hann window, magnitudes of
   bins 0 to N/2-1 (a full-scale sine gives about 1.0 in its bin). */
#define BASS_DATA_FFT256 0x80000000  /* 128 floats */
#define BASS_DATA_FFT512 0x80000001  /* 256 floats */
#define BASS_DATA_FFT1024 0x80000002 /* 512 floats */
#define BASS_DATA_FFT2048 0x80000003 /* 1024 floats */
#define BASS_DATA_FFT4096 0x80000004 /* 2048 floats */

/* BASS_ChannelSetAttribute / GetAttribute */
#define BASS_ATTRIB_VOL 2 /* channel volume, 0 (silent) to 1 (full) */

/* BASS_StreamCreateFile flag: the file name is UTF-16 (char16_t); otherwise UTF-8. */
#define BASS_UNICODE 0x80000000

/* Receives the downloaded bytes of a URL stream as they arrive; null at the end. */
typedef void DOWNLOADPROC(const void* buffer, DWORD length, void* user);
typedef DWORD STREAMPROC(HSTREAM handle, void* buffer, DWORD length, void* user);
/* BASS_StreamCreate's procedure for a stream whose data the caller pushes. */
#define STREAMPROC_PUSH ((STREAMPROC*)-1)
/* BASS_StreamPutData: this is the stream's last data. */
#define BASS_STREAMPROC_END 0x80000000u

/* Opens the output at freq Hz (1000 to 384000), 16-bit stereo. win and dsguid are
   not used. FALSE when already initialised or when the device cannot be opened. */
BASS_API BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid);
/* Closes the output and frees every stream. */
BASS_API BOOL BASS_Free(void);

/* A stream over WAV (PCM 8/16/24/32-bit or float), FLAC, Ogg Vorbis or MP3 data.
   mem TRUE: file points at length bytes read in place; the caller keeps them alive
   and unchanged until BASS_StreamFree; offset is not used. mem FALSE: file is a path,
   the stream covers length bytes from offset (length 0: to the end). 0 on failure. */
BASS_API HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                       DWORD flags);
/* A stream over an http(s) URL, downloaded on a thread of the library's own from
   byte offset on. Returns once the start of the data has arrived; 0 when the
   server cannot be reached, answers with an error or sends no audio. */
BASS_API HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags,
                                      DOWNLOADPROC* proc, void* user);
BASS_API BOOL BASS_StreamFree(HSTREAM handle);
/* A stream of 16-bit PCM (freq Hz, chans channels) that the caller pushes with
   BASS_StreamPutData; only proc STREAMPROC_PUSH is supported (0 otherwise). While no
   data is queued the stream stalls: the device plays silence, the position (what has
   been heard) stands, and it goes on when data arrives. It ends once the data marked
   BASS_STREAMPROC_END has played. */
BASS_API HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                   void* user);
/* Queues length bytes (length may carry BASS_STREAMPROC_END); the bytes queued and not
   yet played, or (DWORD)-1 for a handle that is not a push stream or has ended. */
BASS_API DWORD BASS_StreamPutData(HSTREAM handle, const void* buffer, DWORD length);

/* Starts playing; restart TRUE from the beginning, FALSE from the current position
   (a stream that has played to its end starts over). */
BASS_API BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
/* Pauses a playing channel, keeping its position and buffered audio. */
BASS_API BOOL BASS_ChannelPause(DWORD handle);
/* Stops; a later play without restart continues from the position reached. */
BASS_API BOOL BASS_ChannelStop(DWORD handle);
/* One of BASS_ACTIVE_*; BASS_ACTIVE_STOPPED for a bad handle. */
BASS_API DWORD BASS_ChannelIsActive(DWORD handle);

/* The position of what is being heard now; (QWORD)-1 on failure. */
BASS_API QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BASS_API BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
/* (QWORD)-1 on failure or while unknown. */
BASS_API QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
BASS_API double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
BASS_API QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

/* For BASS_TAG_ID3: 128 bytes starting with "TAG" followed by a zero byte, valid
   until the stream is freed; null when the data has no such block. */
BASS_API const char* BASS_ChannelGetTags(DWORD handle, DWORD tags);
/* For BASS_DATA_FFT*: writes the magnitudes, returns the bytes written; -1 on
   failure (also for a stopped channel). */
BASS_API DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

BASS_API BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BASS_API BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);

/* The library's own output level, 0 to 1, applied to everything it plays. GetVolume
   returns -1 without an initialised device. */
BASS_API BOOL BASS_SetVolume(float volume);
BASS_API float BASS_GetVolume(void);

#ifdef __cplusplus
}
#endif
