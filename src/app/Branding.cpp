#include "app/Branding.h"

namespace {
// Ours, not a real third party's: the host is under the reserved .example domain.
constexpr const char* kVendorHost = "www.orvane.example";
constexpr const char* kContactNumber = "800163063";
constexpr const char* kSocialHandle = "Orvane录制";
}  // namespace

Text ProgramName() { return "Orvane教程视频录制记事本DIY版V6.3 "; }

Text VendorHost() { return kVendorHost; }

Text InitialTitle() { return ProgramName() + "\r\n" + VendorHost(); }

Text BannerText() {
  return ProgramName() + "\r\n" + "V/Q：" + kContactNumber + " " + "微博@" + kSocialHandle;
}
