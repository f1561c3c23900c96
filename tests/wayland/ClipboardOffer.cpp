// Puts each argument in turn on the X11 clipboard of DISPLAY through the program's
// X11Clipboard, as a typing run does with each paste, and for each says "asked" once the
// desktop has asked what it holds (else "not asked"), then "read" once a program has read
// the text (else "not read"), within a minute each; the next waits for a line on its input.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "framework/platform/X11Clipboard.h"

int main(int argc, char** argv) {
  X11Clipboard clipboard;
  if (!clipboard.Available()) return std::puts("no display"), 1;
  std::string line;
  for (int n = 1; n < argc && (n == 1 || std::getline(std::cin, line)); ++n) {
    std::puts(clipboard.Offer(argv[n], 60000) ? "asked" : "not asked");
    std::fflush(stdout);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!clipboard.Read() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::puts(clipboard.Read() ? "read" : "not read");
    std::fflush(stdout);
  }
  return 0;
}
