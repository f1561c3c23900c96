#include "Library.h"

namespace bass {

Library& Library::Instance() {
  static Library library;
  return library;
}

// A host that unloads the library or exits without BASS_Free must not leave its
// threads running into unmapped code.
Library::~Library() { Free(); }

bool Library::Init(int device, int rate) {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::shared_lock lock(deviceLock_);
    if (device_) return false;
  }
  std::unique_ptr<Device> opened = Device::Open(device, rate);
  if (!opened) return false;
  std::unique_lock lock(deviceLock_);
  device_ = std::move(opened);
  return true;
}

bool Library::Free() {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::shared_lock lock(deviceLock_);
    if (!device_) return false;
    device_->InterruptAll();  // calls waiting for a download return, so the lock frees up
  }
  std::unique_ptr<Device> closing;
  {
    std::unique_lock lock(deviceLock_);
    closing = std::move(device_);
  }
  closing.reset();
  return true;
}

bool Library::Initialised() {
  std::shared_lock lock(deviceLock_);
  return device_ != nullptr;
}

DWORD Library::AddStream(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder) {
  std::shared_lock lock(deviceLock_);
  if (!device_) return 0;
  DWORD handle = nextHandle_.fetch_add(1);
  if (handle == 0) handle = nextHandle_.fetch_add(1);
  return device_->AddStream(std::move(source), std::move(decoder), handle);
}

}  // namespace bass
