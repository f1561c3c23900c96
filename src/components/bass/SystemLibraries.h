#pragma once

// libcurl (URL streams) and libsndfile (FLAC, Ogg Vorbis and MP3 files) are opened on
// first use rather than linked: a program that loads bass.dll to play what it makes
// maps neither, nor the TLS stack and codecs they bring. Opened by soname through the
// loader's own search (this library has no run-path), never closed.
#include <curl/curl.h>
#include <sndfile.h>

namespace bass {

struct CurlFunctions {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_multi_info_read) multi_info_read;
  decltype(&curl_multi_wakeup) multi_wakeup;
};

struct SndfileFunctions {
  decltype(&sf_open_virtual) open_virtual;
  decltype(&sf_close) close;
  decltype(&sf_seek) seek;
  decltype(&sf_readf_float) readf_float;
};

// The functions, bound on the first call (curl_global_init done); null when the
// library or one of them cannot be had.
const CurlFunctions* Curl();
const SndfileFunctions* Sndfile();

}  // namespace bass
