#include "aids/ScreenCapture.h"

#include "framework/BoundFunction.h"

extern "C" const std::uint8_t orvane_capture_image_begin[];
extern "C" const std::uint8_t orvane_capture_image_end[];

ComponentFile CaptureLibraryFile() {
  return {"CameraDll.dll", orvane_capture_image_begin, orvane_capture_image_end};
}

void CaptureScreenArea(Uses<WindowControls, Libraries> services) {
  const int window = services.Get<WindowControls>().GetWindowHandle(Control::_启动窗口);
  BoundFunction<int(int)> cameraSubArea(services, "CameraDll.dll", "CameraSubArea");
  cameraSubArea(window);  // the result is not used
}
