#include "Device.h"

#include <vector>

namespace bass {

std::unique_ptr<Device> Device::Open(int device, int rate) {
  std::unique_ptr<Device> opened(new Device);
  opened->output_ = OpenOutput(device, rate);
  if (!opened->output_) return nullptr;
  opened->mixer_ = std::make_unique<Mixer>(opened->output_->Format());
  opened->output_->Start(*opened->mixer_);
  return opened;
}

Device::~Device() {
  output_.reset();
  std::map<DWORD, std::shared_ptr<Channel>> streams;
  {
    std::lock_guard lock(streamsLock_);
    streams.swap(streams_);
  }
  for (auto& [handle, channel] : streams) channel->Shutdown();
}

DWORD Device::AddStream(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder,
                        DWORD handle) {
  auto channel =
      std::make_shared<Channel>(std::move(source), std::move(decoder), output_->Format());
  if (!channel->Ready()) return 0;
  {
    std::lock_guard lock(streamsLock_);
    streams_.emplace(handle, channel);
  }
  mixer_->Add(channel.get());
  return handle;
}

std::shared_ptr<Channel> Device::Find(DWORD handle) {
  std::lock_guard lock(streamsLock_);
  auto found = streams_.find(handle);
  return found == streams_.end() ? nullptr : found->second;
}

bool Device::FreeStream(DWORD handle) {
  std::shared_ptr<Channel> channel;
  {
    std::lock_guard lock(streamsLock_);
    auto found = streams_.find(handle);
    if (found == streams_.end()) return false;
    channel = std::move(found->second);
    streams_.erase(found);
  }
  mixer_->Remove(channel.get());  // the output no longer sees it
  channel->Shutdown();
  return true;
}

void Device::InterruptAll() {
  std::vector<std::shared_ptr<Channel>> channels;
  {
    std::lock_guard lock(streamsLock_);
    for (auto& [handle, channel] : streams_) channels.push_back(channel);
  }
  for (auto& channel : channels) channel->Interrupt();
}

}  // namespace bass
