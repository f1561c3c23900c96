#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "ByteSource.h"
#include "Decoder.h"

namespace bass {

// The PCM a caller pushes into a stream (BASS_StreamPutData) as it is made. Bytes
// that have been read are dropped, so a long push stream holds only what is queued.
class PushSource : public ByteSource {
 public:
  // Queues the bytes; end says no more will come. The bytes still queued, or -1 when
  // the stream has ended already.
  std::int64_t Put(const void* data, std::int64_t n, bool end);
  // From pos, which may not lie before what has been read already.
  std::int64_t Read(std::int64_t pos, void* out, std::int64_t n) override;
  std::int64_t Size() const override;
  std::int64_t Available() const override;
  bool Complete() const override;
  void OnArrival(std::function<void()> listener) override;

 private:
  mutable std::mutex lock_;
  std::deque<std::uint8_t> queued_;
  std::int64_t dropped_ = 0;  // bytes read and let go, before queued_
  bool ended_ = false;
  std::mutex listenerLock_;
  std::function<void()> listener_;
};

// Interleaved 16-bit PCM of the given format read from a push source; waits for data
// while the source is not complete.
std::unique_ptr<Decoder> OpenPushDecoder(const std::shared_ptr<PushSource>& source, int rate,
                                         int channels);

}  // namespace bass
