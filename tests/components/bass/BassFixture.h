#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "AudioFiles.h"
#include "components/bass/bass.h"

// Each test gets a scratch folder and SDL's disk driver writing into it; the device
// is freed after every test.
class BassFixture : public ::testing::Test {
 protected:
  // The device buffer the library uses at 16 kHz (16 ms) and 44.1 kHz (11.6 ms).
  static constexpr std::size_t kBuffer16k = 256;
  static constexpr std::size_t kBuffer44k = 512;

  void SetUp() override {
    char pattern[] = "/tmp/bass-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    BASS_Free();
    std::filesystem::remove_all(folder_);
  }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // Opens the default device on SDL's disk driver. Without real time the driver
  // runs as fast as it can (and leaves gaps wherever a stream's feeder lags).
  bool OpenDisk(int rate, bool realTime) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", Path("device.raw").c_str(), 1);
    if (realTime)
      ::unsetenv("SDL_DISKAUDIODELAY");
    else
      ::setenv("SDL_DISKAUDIODELAY", "0", 1);
    return BASS_Init(-1, static_cast<DWORD>(rate), 0, nullptr, nullptr) != FALSE;
  }

  audio_files::DeviceOutput CloseAndRead() {
    BASS_Free();
    return audio_files::ReadDeviceOutput(Path("device.raw"));
  }

  static HSTREAM FromMemory(const audio_files::Bytes& bytes) {
    return BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), 0);
  }

  // Polls until the channel reports stopped; the states seen, repeats collapsed.
  static std::vector<DWORD> WaitUntilStopped(
      DWORD handle, std::chrono::seconds limit = std::chrono::seconds(30)) {
    std::vector<DWORD> states;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const DWORD state = BASS_ChannelIsActive(handle);
      if (states.empty() || states.back() != state) states.push_back(state);
      if (state == BASS_ACTIVE_STOPPED || std::chrono::steady_clock::now() > end) return states;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // Polls until done() holds, for at most limit; whether it did.
  template <typename Condition>
  static bool Eventually(Condition done, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // Polls until the position reaches bytes (or the limit passes).
  static QWORD WaitForPosition(DWORD handle, QWORD bytes,
                               std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    QWORD position = 0;
    while ((position = BASS_ChannelGetPosition(handle, BASS_POS_BYTE)) < bytes &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return position;
  }

 private:
  std::string folder_;
};
