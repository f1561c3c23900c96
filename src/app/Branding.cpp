#include "app/Branding.h"

#include "online/VendorSite.h"

namespace {
constexpr const char* kSocialHandle = "Orvane录制";
}  // namespace

Text ProgramName() { return "Orvane教程视频录制记事本DIY版V6.3 "; }

Text VendorHost() { return ForumHost(); }

Text InitialTitle() { return ProgramName() + "\r\n" + VendorHost(); }

Text BannerText() {
  return ProgramName() + "\r\n" + "V/Q：" + ContactNumber() + " " + "微博@" + kSocialHandle;
}
