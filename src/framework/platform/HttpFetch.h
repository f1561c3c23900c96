#pragma once

#include <cstddef>
#include <string>

#include "framework/Types.h"

// Limits of one download. A time-out below 1 ms counts as 1 ms: there is no way to
// wait forever, so a black-holed host cannot hold up the caller for long.
struct FetchOptions {
  int connectTimeoutMs = 4000;
  int totalTimeoutMs = 8000;
  std::size_t maxBytes = 4 * 1024 * 1024;
};

struct FetchResult {
  ByteBuffer body;        // whatever body arrived, also on a failure midway
  int httpStatus = 0;     // 0: no HTTP response
  bool complete = false;  // the whole body arrived with a 2xx status
};

// Downloads an http:// or https:// address with an HTTP/1.0 GET that asks for
// "Accept: */*". Safe to call on any thread; blocks until done or timed out.
//  - Redirects to http or https are followed, at most 5.
//  - Proxies set in the environment (http_proxy, https_proxy, no_proxy ...) are used.
//  - https verifies the server's certificate and host name.
//  - A body longer than maxBytes is a failure: the first maxBytes bytes are kept and
//    complete is false.
//  - An empty, malformed or schemeless address, or any other scheme, gives the empty
//    result without connecting.
FetchResult FetchHttp(const std::string& url, const FetchOptions& options = {});

// FetchHttp on a thread of its own, given up (the empty result) as soon as giveUp()
// says so, checked every 50 ms, and at the latest 100 ms after the total time-out. The
// abandoned download ends by its own time-outs.
FetchResult FetchHttpUnless(const std::string& url, bool (*giveUp)(),
                            const FetchOptions& options = {});
