#include "framework/qt/FontConfigurationAside.h"

#include <fontconfig/fontconfig.h>

#include <thread>

void LoadFontConfigurationAside() {
  // FcInit is safe on any thread: two at once load it twice and keep one.
  std::thread([] { FcInit(); }).detach();
}
