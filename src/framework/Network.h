#pragma once

#include "framework/Types.h"

// The network and the user's browser.
class Network {
 public:
  virtual ~Network() = default;

  // Whether the computer looks online (an interface up with a default route).
  virtual bool IsOnline() = 0;
  // An HTTP/1.0 GET of the address; the body, partial on a failure midway, empty
  // when nothing arrived. httpStatus receives the response status: 0 when no
  // response arrived, and also when a success response's body was cut short.
  // Bounded by short time-outs and a size cap: a larger body is a failure.
  virtual ByteBuffer FetchUrl(const Text& address, int* httpStatus = nullptr) = 0;
  // Opens the address with the user's browser or the handler of its scheme.
  virtual void OpenUrl(const Text& address) = 0;
};
