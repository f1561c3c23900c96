#include "framework/platform/HttpFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "framework/platform/SystemLibrary.h"

namespace {

constexpr char kUserAgent[] = "OrvaneNotepad/6.3";
constexpr long kMaxRedirects = 5;

// libcurl's functions, bound on the first fetch (SystemLibrary.h): a run that fetches
// nothing maps neither libcurl nor its TLS stack. curl_global_init is not thread-safe in
// every libcurl we may meet, so it runs once, with the binding; the matching cleanup is
// left to process exit because another thread may still be fetching then.
struct Curl {
  decltype(&curl_global_init) globalInit;
  decltype(&curl_easy_init) easyInit;
  decltype(&curl_easy_cleanup) easyCleanup;
  decltype(&curl_easy_setopt) easySetopt;
  decltype(&curl_easy_perform) easyPerform;
  decltype(&curl_easy_getinfo) easyGetinfo;
  decltype(&curl_slist_append) slistAppend;
  decltype(&curl_slist_free_all) slistFreeAll;
};

const Curl* BoundCurl() {
  static const std::optional<Curl> bound = []() -> std::optional<Curl> {
    Curl curl{};
    const auto bind = [](auto& slot, const char* name) {
      return BindSystemFunction(slot, "libcurl.so.4", name);
    };
    const bool all =
        bind(curl.globalInit, "curl_global_init") && bind(curl.easyInit, "curl_easy_init") &&
        bind(curl.easyCleanup, "curl_easy_cleanup") && bind(curl.easySetopt, "curl_easy_setopt") &&
        bind(curl.easyPerform, "curl_easy_perform") &&
        bind(curl.easyGetinfo, "curl_easy_getinfo") &&
        bind(curl.slistAppend, "curl_slist_append") &&
        bind(curl.slistFreeAll, "curl_slist_free_all");
    if (!all || curl.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return std::nullopt;
    return curl;
  }();
  return bound ? &*bound : nullptr;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

struct Sink {
  const Curl* functions = nullptr;
  CURL* curl = nullptr;
  ByteBuffer* body = nullptr;
  std::size_t maxBytes = 0;
};

// Grows the buffer itself so that its capacity never passes maxBytes, whatever a
// server announces or sends.
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  ByteBuffer& body = *sink->body;
  const std::size_t n = size * count;
  const std::size_t room = sink->maxBytes - body.size();
  const std::size_t taken = std::min(n, room);

  if (body.size() + taken > body.capacity()) {
    std::size_t wanted = std::max(body.capacity() * 2, body.size() + taken);
    if (body.empty()) {
      curl_off_t announced = -1;
      if (sink->functions->easyGetinfo(sink->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T,
                                       &announced) == CURLE_OK &&
          announced > 0) {
        wanted = std::max(wanted, static_cast<std::size_t>(announced));
      }
    }
    body.reserve(std::min(wanted, sink->maxBytes));
  }
  body.insert(body.end(), data, data + taken);
  // Taking less than offered makes libcurl end the transfer with a write error.
  return taken;
}

struct CurlDeleter {
  const Curl* functions;
  void operator()(CURL* curl) const { functions->easyCleanup(curl); }
};
struct HeaderListDeleter {
  const Curl* functions;
  void operator()(curl_slist* list) const { functions->slistFreeAll(list); }
};

}  // namespace

FetchResult FetchHttp(const std::string& url, const FetchOptions& options) {
  FetchResult result;
  // No scheme guessing: an address names its scheme, and only the web ones are ours.
  if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) return result;
  if (url.find('\0') != std::string::npos) return result;
  const Curl* functions = BoundCurl();
  if (!functions) return result;

  std::unique_ptr<CURL, CurlDeleter> curl(functions->easyInit(), CurlDeleter{functions});
  if (!curl) return result;
  CURL* h = curl.get();

  // The default Accept is replaced rather than added to, so it is sent once.
  std::unique_ptr<curl_slist, HeaderListDeleter> headers(
      functions->slistAppend(nullptr, "Accept: */*"), HeaderListDeleter{functions});
  if (!headers) return result;

  Sink sink{functions, h, &result.body, options.maxBytes};

  bool ok = functions->easySetopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
#if LIBCURL_VERSION_NUM >= 0x075500
  ok = ok && functions->easySetopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
#else
  ok = ok &&
       functions->easySetopt(h, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS) ==
                 CURLE_OK;
#endif
  ok = ok && functions->easySetopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;
  // Always fetched anew: libcurl keeps no HTTP cache, and this handle (with its
  // connection and DNS entries) lives for this one call only, so there is nothing
  // to bypass with Pragma or Cache-Control.
  ok = ok && functions->easySetopt(h, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK;
  // A moved release page (say from http to https) should still be found, as the
  // system HTTP stacks of desktop programs do; a loop ends after a few hops.
  ok = ok && functions->easySetopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // No SIGALRM for name look-up time-outs: the call must be safe on any thread.
  ok = ok && functions->easySetopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok &&
       functions->easySetopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(std::max(options.connectTimeoutMs, 1))) == CURLE_OK;
  ok = ok &&
       functions->easySetopt(h, CURLOPT_TIMEOUT_MS,
                             static_cast<long>(std::max(options.totalTimeoutMs, 1))) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_WRITEFUNCTION, &Collect) == CURLE_OK;
  ok = ok && functions->easySetopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  // Proxies are deliberately left as libcurl takes them from the environment: that
  // is where a Linux desktop user sets them, and no_proxy is honoured too.
  if (!ok) return result;

  const CURLcode code = functions->easyPerform(h);

  long status = 0;
  if (functions->easyGetinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
    result.httpStatus = static_cast<int>(status);
  }
  result.complete = code == CURLE_OK && status >= 200 && status <= 299;
  return result;
}

FetchResult FetchHttpUnless(const std::string& url, bool (*giveUp)(), const FetchOptions& options) {
  struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    FetchResult result;
  };
  // Shared with the download thread, which may outlive this call once it is given up.
  auto pending = std::make_shared<Pending>();
  std::thread([pending, url, options] {
    FetchResult result = FetchHttp(url, options);
    const std::lock_guard<std::mutex> lock(pending->mutex);
    pending->result = std::move(result);
    pending->finished = true;
    pending->done.notify_one();
  }).detach();
  // libcurl keeps its time-outs, but a name look-up that never ends holds it past
  // them (its resolver thread is joined): this bound holds all the same.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(std::max(options.totalTimeoutMs, 1)) +
                        std::chrono::milliseconds(100);
  std::unique_lock<std::mutex> lock(pending->mutex);
  while (!pending->done.wait_for(lock, std::chrono::milliseconds(50),
                                 [&] { return pending->finished; })) {
    if (giveUp() || std::chrono::steady_clock::now() >= deadline) return {};
  }
  return std::move(pending->result);
}
