#pragma once

/* speex.dll, the speech engine's coding library: converts the synthesiser's 16-bit
   mono PCM to the sample rate a session asks for. A gain is applied before the rate
   conversion, so that the filter's overshoot never clips. One converter per audio
   stream; a converter is used by one thread at a time. */

#ifdef __cplusplus
extern "C" {
#endif

#define SPEEX_CODING_API __attribute__((visibility("default")))

enum {
  SPEEX_CODING_OK = 0,
  SPEEX_CODING_ERROR_ARGUMENT = 1,  /* a null pointer, or a rate or gain out of range */
  SPEEX_CODING_ERROR_CAPACITY = 2,  /* the output buffer is smaller than the bound */
  SPEEX_CODING_ERROR_RESAMPLER = 3, /* the resampler could not be created or failed */
};

/* Rates accepted on both sides, in Hz. */
#define SPEEX_CODING_MIN_RATE 8000
#define SPEEX_CODING_MAX_RATE 192000

typedef struct SpeexCodingConverter SpeexCodingConverter;

/* A converter from inputRate to outputRate that multiplies the samples by gain
   (above 0, at most 4) first. Null on failure, with the reason in *error (may be null). */
SPEEX_CODING_API SpeexCodingConverter* SpeexCodingOpen(int inputRate, int outputRate, float gain,
                                                       int* error);

/* The most samples that SpeexCodingConvert can write for inputSamples input samples,
   and that SpeexCodingFlush writes when inputSamples is 0. 0 for a null converter. */
SPEEX_CODING_API unsigned SpeexCodingOutputBound(const SpeexCodingConverter* converter,
                                                 unsigned inputSamples);

/* Converts all input samples. The output must hold SpeexCodingOutputBound samples;
 *written receives the number written. Nothing is consumed on an error. */
SPEEX_CODING_API int SpeexCodingConvert(SpeexCodingConverter* converter, const short* input,
                                        unsigned inputSamples, short* output, unsigned capacity,
                                        unsigned* written);

/* Ends the stream: writes the samples still held in the filter. After a flush the
   converter starts a new stream. */
SPEEX_CODING_API int SpeexCodingFlush(SpeexCodingConverter* converter, short* output,
                                      unsigned capacity, unsigned* written);

/* Releases the converter; null is allowed. */
SPEEX_CODING_API void SpeexCodingClose(SpeexCodingConverter* converter);

#ifdef __cplusplus
}
#endif
