#pragma once

#include <memory>

#include "Channel.h"
#include "Mixer.h"

namespace bass {

// Where the mixed audio goes: an SDL output device, or nothing at all at the pace of
// a real device (device 0).
class Output {
 public:
  virtual ~Output() = default;  // no render call runs once it has returned
  const OutputFormat& Format() const { return format_; }
  // Begins calling mixer.Render for each buffer.
  virtual void Start(Mixer& mixer) = 0;

 protected:
  OutputFormat format_;
};

// device: -1 the default SDL output, 0 no sound, n the n-th SDL output. Null when it
// cannot be opened.
std::unique_ptr<Output> OpenOutput(int device, int rate);

}  // namespace bass
