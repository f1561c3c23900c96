#pragma once

#include <string>

#include "framework/platform/HttpFetch.h"

// A download made by a helper process: the program's own executable started again with
// kFetchHelperArgument, which fetches one address with FetchHttp and writes the result
// to its standard output. The window's process then never maps libcurl, its TLS stack
// or what they allocate, however long a silent name server holds the look-up.

inline constexpr char kFetchHelperArgument[] = "--fetch-page-helper";

// Whether this process was started as the helper (argv[1] is the argument above).
bool IsFetchHelperCall(int argc, char** argv);

// The helper's whole work: argv holds the address and the limits; the exit status is 0
// when a result was written, 2 on arguments it cannot take.
int RunFetchHelper(int argc, char** argv);

// FetchHttpUnless in a helper started from executable (an absolute path): the same
// limits, the same result, given up (the helper killed, the empty result) as soon as
// giveUp() says so, checked every 50 ms, and at the latest 1 s after the total time-out.
// When no helper can be started, the fetch is made in this process instead.
FetchResult FetchHttpInHelper(const std::string& executable, const std::string& url,
                              bool (*giveUp)(), const FetchOptions& options = {});
