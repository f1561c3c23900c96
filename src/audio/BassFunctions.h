#pragma once

#include <cstdint>

// The functions of bass.dll as the program calls them.
namespace bass_api {

using Dword = std::uint32_t;
using Qword = std::uint64_t;
using Bool = int;

using Init = Bool(int device, Dword freq, Dword flags, void* window, const void* guid);
using Free = Bool();
using StreamCreateFile = Dword(Bool mem, const void* file, Qword offset, Qword length, Dword flags);
using StreamCreate = Dword(Dword freq, Dword chans, Dword flags, void* proc, void* user);
using StreamPutData = Dword(Dword handle, const void* buffer, Dword length);
using StreamCreateUrl = Dword(const char* url, Dword offset, Dword flags, void* proc, void* user);
using ChannelPlay = Bool(Dword handle, Bool restart);
using ChannelCall = Bool(Dword handle);  // pause, stop, free
using ChannelGetPosition = Qword(Dword handle, Dword mode);
using ChannelSetPosition = Bool(Dword handle, Qword pos, Dword mode);
using ChannelGetTags = const char*(Dword handle, Dword tags);
using ChannelIsActive = Dword(Dword handle);
using ChannelGetData = Dword(Dword handle, void* buffer, Dword length);
using ChannelSetAttribute = Bool(Dword handle, Dword attrib, float value);
using ChannelGetAttribute = Bool(Dword handle, Dword attrib, float* value);
using SetVolume = Bool(float volume);
using GetVolume = float();
using Bytes2Seconds = double(Dword handle, Qword pos);
using Seconds2Bytes = Qword(Dword handle, double pos);

constexpr Dword kPositionBytes = 0;     // BASS_POS_BYTE
constexpr Dword kTagId3v1 = 0;          // BASS_TAG_ID3
constexpr Dword kFft256 = 0x80000000u;  // BASS_DATA_FFT256: 128 magnitudes
constexpr Dword kAttributeVolume = 2;   // BASS_ATTRIB_VOL
// STREAMPROC_PUSH: the caller pushes the stream's data.
inline void* const kPushProcedure = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
constexpr Dword kStreamEnd = 0x80000000u;  // BASS_STREAMPROC_END: the last data

}  // namespace bass_api
