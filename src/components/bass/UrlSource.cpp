#include "UrlSource.h"

#include <algorithm>
#include <cstring>

#include "SystemLibraries.h"

namespace bass {

struct UrlSource::Private {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  ~Private() {
    if (multi && easy) Curl()->multi_remove_handle(multi, easy);
    if (easy) Curl()->easy_cleanup(easy);
    if (multi) Curl()->multi_cleanup(multi);
  }
};

namespace {

// An ID3v1 probe at the end of a download must not wait for the whole download.
constexpr std::int64_t kTailProbe = 128;

bool IsHttp(const std::string& url) {
  auto starts = [&](const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return url.size() > n && std::equal(prefix, prefix + n, url.begin(), [](char a, char b) {
             return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
           });
  };
  return starts("http://") || starts("https://");
}

}  // namespace

UrlSource::UrlSource(std::uint32_t offset, DOWNLOADPROC* proc, void* user)
    : curl_(std::make_unique<Private>()), offset_(offset), proc_(proc), user_(user) {}

std::shared_ptr<UrlSource> UrlSource::Start(const std::string& url, std::uint32_t offset,
                                            DOWNLOADPROC* proc, void* user) {
  if (!IsHttp(url)) return nullptr;
  if (!Curl()) return nullptr;

  std::shared_ptr<UrlSource> source(new UrlSource(offset, proc, user));
  CURL* easy = Curl()->easy_init();
  CURLM* multi = Curl()->multi_init();
  source->curl_->easy = easy;
  source->curl_->multi = multi;
  if (!easy || !multi) return nullptr;
  Curl()->easy_setopt(easy, CURLOPT_URL, url.c_str());
  Curl()->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  Curl()->easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Curl()->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  Curl()->easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  Curl()->easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  Curl()->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  Curl()->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
  // A server that stops sending ends the stream instead of stalling it for ever.
  Curl()->easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  Curl()->easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 15L);
  Curl()->easy_setopt(easy, CURLOPT_USERAGENT, "bass.dll");
  Curl()->easy_setopt(easy, CURLOPT_WRITEFUNCTION, &UrlSource::OnData);
  Curl()->easy_setopt(easy, CURLOPT_WRITEDATA, source.get());
  if (offset > 0) {
    const std::string range = std::to_string(offset) + "-";
    Curl()->easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // curl copies the string
  }
  if (Curl()->multi_add_handle(multi, easy) != CURLM_OK) return nullptr;
  source->fetcher_ = std::thread([raw = source.get()] { raw->Run(); });
  return source;
}

UrlSource::~UrlSource() {
  Interrupt();
  if (fetcher_.joinable()) fetcher_.join();
}

void UrlSource::Run() {
  int running = 1;
  while (!interrupted_.load()) {
    if (Curl()->multi_perform(curl_->multi, &running) != CURLM_OK || running == 0) break;
    Curl()->multi_poll(curl_->multi, nullptr, 0, 1000, nullptr);
  }
  bool ok = false;
  int queued = 0;
  while (CURLMsg* message = Curl()->multi_info_read(curl_->multi, &queued)) {
    if (message->msg == CURLMSG_DONE) ok = message->data.result == CURLE_OK;
  }
  Finish(ok && !interrupted_.load());
}

void UrlSource::Finish(bool ok) {
  {
    std::lock_guard lock(mutex_);
    const std::int64_t got = available_.load();
    // A download cut short ends the data where it stopped.
    if (!ok || size_.load() < 0 || size_.load() > got) size_.store(got);
    failed_.store(got == 0);
    complete_.store(true);
    if (listener_) listener_();
  }
  arrived_.notify_all();
  if (proc_) proc_(nullptr, 0, user_);
}

std::size_t UrlSource::OnData(char* data, std::size_t size, std::size_t count, void* self) {
  return static_cast<UrlSource*>(self)->Append(data, size * count);
}

std::size_t UrlSource::Append(const char* data, std::size_t bytes) {
  if (interrupted_.load()) return 0;  // aborts the transfer
  if (!headersSeen_) {
    headersSeen_ = true;
    long status = 0;
    curl_off_t length = -1;
    Curl()->easy_getinfo(curl_->easy, CURLINFO_RESPONSE_CODE, &status);
    Curl()->easy_getinfo(curl_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    const bool ranged = status == 206;
    if (offset_ > 0 && !ranged) skip_ = offset_;  // the server sent everything
    if (length >= 0) size_.store(std::max<std::int64_t>(0, length - skip_));
  }
  const std::size_t received = bytes;
  const std::int64_t skipped = std::min<std::int64_t>(skip_, static_cast<std::int64_t>(bytes));
  skip_ -= skipped;
  data += skipped;
  bytes -= static_cast<std::size_t>(skipped);

  if (bytes > 0) {
    std::lock_guard lock(mutex_);
    std::int64_t at = available_.load();
    std::size_t left = bytes;
    const char* from = data;
    while (left > 0) {
      const std::size_t index = static_cast<std::size_t>(at / kChunk);
      const std::int64_t within = at % kChunk;
      if (index == chunks_.size()) chunks_.push_back(std::make_unique<std::uint8_t[]>(kChunk));
      const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(kChunk - within));
      std::memcpy(chunks_[index].get() + within, from, n);
      from += n;
      left -= n;
      at += static_cast<std::int64_t>(n);
    }
    available_.store(at);
    if (listener_) listener_();
  }
  arrived_.notify_all();
  if (proc_ && bytes > 0) proc_(data, static_cast<DWORD>(bytes), user_);
  return received;
}

void UrlSource::WaitFor(std::int64_t bytes, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, timeout, [&] {
    return complete_.load() || interrupted_.load() || available_.load() >= bytes;
  });
}

void UrlSource::OnArrival(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void UrlSource::WaitComplete() {
  std::unique_lock lock(mutex_);
  arrived_.wait(lock, [&] { return complete_.load() || interrupted_.load(); });
}

bool UrlSource::Failed() const { return complete_.load() && failed_.load(); }

std::int64_t UrlSource::Read(std::int64_t pos, void* out, std::int64_t n) {
  if (pos < 0 || n <= 0) return 0;
  std::unique_lock lock(mutex_);
  const std::int64_t known = size_.load();
  if (known >= 0 && !complete_.load() && pos >= known - kTailProbe && pos + n > available_.load()) {
    // Reads as "no tag"; the real end is looked at again once the download is done.
    const std::int64_t zeros = std::max<std::int64_t>(0, std::min(n, known - pos));
    std::memset(out, 0, static_cast<std::size_t>(zeros));
    return zeros;
  }
  arrived_.wait(lock, [&] {
    return complete_.load() || interrupted_.load() || available_.load() >= pos + n;
  });
  const std::int64_t end = std::min(available_.load(), pos + n);
  std::int64_t at = pos;
  auto* to = static_cast<std::uint8_t*>(out);
  while (at < end) {
    const std::size_t index = static_cast<std::size_t>(at / kChunk);
    const std::int64_t within = at % kChunk;
    const std::int64_t take = std::min(end - at, kChunk - within);
    std::memcpy(to, chunks_[index].get() + within, static_cast<std::size_t>(take));
    to += take;
    at += take;
  }
  return std::max<std::int64_t>(0, end - pos);
}

void UrlSource::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_.store(true);
  }
  arrived_.notify_all();
  if (curl_->multi) Curl()->multi_wakeup(curl_->multi);
}

}  // namespace bass
