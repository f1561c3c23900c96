#pragma once

/* msc.dll, the speech engine: text in, 16-bit mono PCM out, synthesised locally with
   espeak-ng on a thread of the engine's own. Every function may be called from any
   thread; results are 0 (MSC_SUCCESS) or one of the error codes below.

   Configuration (QTTSInit) and session parameters (QTTSSessionBegin) are lists of
   key=value separated by commas; a value runs to the next comma and may hold '=' and
   ';'. Empty elements are skipped; an element without '=' or with an empty key is
   malformed. Unknown keys are ignored.

   Configuration keys:
     coding_libs    file name of the coding library (speex.dll), loaded from the folder
                    of msc.dll itself; required
     max_text_size  longest piece of text synthesised at once, in bytes (16 to 1048576,
                    default 4096); longer texts are cut at sentence or clause ends
     appid, timeout (milliseconds, an integer), server_url: kept; synthesis is local
   Session keys:
     vcn  "xiaoyan" (female, the default; also for unknown names), "xiaoyu" (male), or
          one of espeak-ng's variants of the voice: "male1" to "male8", "female1" to
          "female5" ("female2" sounds as "xiaoyan")
     spd  0 to 10, default 5: espeak-ng rate 175 * 2^((spd - 5) / 5) words a minute
     vol  0 to 10, default 5: espeak-ng volume 0 for 0, else 40 + 6 * vol
     pit  0 to 10, default 5: espeak-ng pitch 10 * pit (50, the voice's own, for 5)
     tte  GB2312, GBK or GB18030 (all read as GB18030), or UTF8 / UTF-8; default GB18030
     auf  audio/L16;rate=16000 (the default) or audio/L16;rate=8000
     bgs  an integer; ent, aue, ssm, ttp: accepted, no effect
     trace  1 records the engine's pieces, voices and phonemes (MscSessionTrace)

   Chinese is read with espeak-ng's cmn-latn-pinyin voice, runs of Latin letters with
   en-us. The audio keeps about 3 dB of headroom below full scale. Audio arrives in
   chunks as synthesis goes; once a session holds 32 MB that its caller has not taken,
   its synthesis waits for the caller. */

#ifdef __cplusplus
extern "C" {
#endif

#define MSC_API __attribute__((visibility("default")))

enum {
  MSC_SUCCESS = 0,
  MSC_ERROR_NOT_INIT = 10101,         /* no QTTSInit yet, or after QTTSFini */
  MSC_ERROR_ALREADY_INIT = 10102,     /* QTTSInit twice without QTTSFini */
  MSC_ERROR_NULL_ARGUMENT = 10103,    /* a required pointer is null */
  MSC_ERROR_MALFORMED_PARAMS = 10104, /* a key=value list that cannot be read */
  MSC_ERROR_INVALID_VALUE = 10105,    /* a value out of range or not supported */
  MSC_ERROR_CODING_LIB = 10106,       /* coding library missing or without its functions */
  MSC_ERROR_INVALID_SESSION = 10107,  /* a null session id, or one never issued */
  MSC_ERROR_SESSION_ENDED = 10108,    /* the session was ended, e.g. while it synthesised */
  MSC_ERROR_TEXT_ALREADY_PUT = 10109, /* a second QTTSTextPut in one session */
  MSC_ERROR_NO_TEXT = 10110,          /* QTTSAudioGet before QTTSTextPut */
  MSC_ERROR_SESSION_OPEN = 10111,     /* QTTSFini while a session is open */
  MSC_ERROR_SYNTHESIS = 10112,        /* the synthesiser failed */
};

/* Values of *synthStatus from QTTSAudioGet. */
enum {
  MSC_TTS_MORE_AUDIO = 1, /* more audio follows */
  MSC_TTS_AUDIO_END = 2,  /* all audio delivered; also set with every error */
};

/* Starts the engine with the configuration described above. */
MSC_API int QTTSInit(const char* configs);

/* Opens a session; returns its id (valid until QTTSSessionEnd) or null, with the
   result code in *errorCode when errorCode is not null. A null params is empty. */
MSC_API const char* QTTSSessionBegin(const char* params, int* errorCode);

/* Hands the session its text, textLen bytes in the session's encoding (no terminating
   zero needed); once per session. Synthesis starts at once and the call returns.
   Byte sequences invalid in the encoding are skipped. params may be null or empty. */
MSC_API int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen,
                        const char* params);

/* The next chunk of audio, or null when none is ready after a wait of a few
   milliseconds. The chunk stays valid until the calling thread's next call. On an
   error the result is null, *audioLen 0 and *synthStatus MSC_TTS_AUDIO_END. */
MSC_API const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus,
                                 int* errorCode);

/* Ends the session, stopping its synthesis if it still runs; hints are not used.
   Ending a session that has already been ended does nothing and returns 0. */
MSC_API int QTTSSessionEnd(const char* sessionID, const char* hints);

/* Stops the engine; every session must have been ended. */
MSC_API int QTTSFini(void);

/* Diagnostics of a session begun with trace=1: one line "piece <bytes>" for each piece
   of text, then for each run within it "run <voice> <phonemes>" with espeak-ng's
   phoneme mnemonics. The text stays valid until the calling thread's next call;
   null (and *errorCode set) on an error or without trace=1. */
MSC_API const char* MscSessionTrace(const char* sessionID, int* errorCode);

#ifdef __cplusplus
}
#endif
