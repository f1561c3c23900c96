// AudioPlayer against a recording bass.dll: the exact calls the program makes.
#include <gtest/gtest.h>

#include <cstdio>

#include "audio/AudioPlayer.h"
#include "support/FakeRuntimeServices.h"

namespace {

class AudioPlayerCalls : public ::testing::Test {
 protected:
  AudioPlayerCalls() { TakeLog(); }  // calls left from an earlier test

  std::string TakeLog() {
    using Take = const char*();
    return reinterpret_cast<Take*>(
        services.LibraryFunctionAddress("bass.dll", "RecorderTakeLog"))();
  }
  static std::string Address(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
  }

  struct ServicesInRecorderFolder : FakeRuntimeServices {
    ServicesInRecorderFolder() { programDirectory = RECORDER_FOLDER; }
  };

  ServicesInRecorderFolder services;
  AudioPlayer player{services};
};

TEST_F(AudioPlayerCalls, InitDeviceDefaultsAndFreeDevice) {
  player.InitDevice();
  player.InitDevice(0, 16000, 4, 0x400001);
  player.FreeDevice();
  EXPECT_EQ(TakeLog(),
            "BASS_Init(-1,44100,0,(nil),(nil))\n"
            "BASS_Init(0,16000,4,0x400001,(nil))\n"
            "BASS_Free()\n");
}

TEST_F(AudioPlayerCalls, AllEmptyCreateStreamCallsNothing) {
  EXPECT_EQ(player.CreateStream("", {}, "", 12), 0u);
  EXPECT_EQ(TakeLog(), "");
}

TEST_F(AudioPlayerCalls, CreateStreamPrefersAnExistingFileThenTheBufferThenTheUrl) {
  const Text file = "/scripts/朗读.wav";
  services.Files()[file] = ByteBuffer{1};
  const ByteBuffer image(100, 0x11);

  EXPECT_EQ(player.CreateStream(file, image, "http://host/a.mp3", -1), 7u);
  // The file system's spelling of the name; the offset sign-extended to 64 bits.
  EXPECT_EQ(TakeLog(),
            "BASS_StreamCreateFile(file,/scripts/\xE6\x9C\x97\xE8\xAF\xBB.wav,"
            "18446744073709551615,0,0)\n");

  EXPECT_EQ(player.CreateStream("/scripts/missing.wav", image, "http://host/a.mp3"), 7u);
  EXPECT_EQ(TakeLog(), "BASS_StreamCreateFile(mem," + Address(image.data()) + ",0,100,0)\n")
      << "the caller's own bytes, the whole buffer";

  EXPECT_EQ(player.CreateStream("", {}, "http://host/a.mp3", -1), 8u);
  EXPECT_EQ(TakeLog(), "BASS_StreamCreateURL(http://host/a.mp3,4294967295,0,(nil),(nil))\n")
      << "the offset as 32 bits";
  EXPECT_EQ(player.CreateStream("", {}, "http://host/a.mp3", 65536), 8u);
  EXPECT_EQ(TakeLog(), "BASS_StreamCreateURL(http://host/a.mp3,65536,0,(nil),(nil))\n");
}

TEST_F(AudioPlayerCalls, PushStreamTakesThePushProcedureAndMarksTheEndInTheLength) {
  EXPECT_EQ(player.CreatePushStream(16000, 1), 7u);
  const std::vector<std::uint8_t> pcm(640, 1);
  EXPECT_GT(player.PushData(7, pcm.data(), pcm.size(), false), 0);
  EXPECT_GE(player.PushData(7, nullptr, 0, true), 0);
  EXPECT_EQ(TakeLog(),
            "BASS_StreamCreate(16000,1,0,push,(nil))\nBASS_StreamPutData(7,data,640)\n"
            "BASS_StreamPutData(7,null,0|end)\n");
}

TEST_F(AudioPlayerCalls, PlayRefusesHandleZeroAndRestartsByDefault) {
  EXPECT_FALSE(player.Play(0));
  EXPECT_FALSE(player.Play(0, false));
  EXPECT_EQ(TakeLog(), "");
  EXPECT_TRUE(player.Play(5));
  EXPECT_TRUE(player.Play(5, false));
  EXPECT_EQ(TakeLog(), "BASS_ChannelPlay(5,1)\nBASS_ChannelPlay(5,0)\n");
}

TEST_F(AudioPlayerCalls, OtherMethodsPassHandleZeroOnWithTheFixedModes) {
  player.Pause(0);
  player.Stop(0);
  EXPECT_EQ(player.GetPosition(0), 4000);
  player.SetPosition(0, 1234567890123);
  EXPECT_EQ(player.GetLength(0), 9000);
  EXPECT_EQ(player.IsActive(0), 2);
  player.FreeStream(0);
  player.SetChannelVolume(0, 0.25f);
  float volume = 0;
  EXPECT_TRUE(player.GetChannelVolume(0, volume));
  EXPECT_EQ(volume, 0.75f);
  player.SetMasterVolume(0.99f);
  EXPECT_EQ(player.GetMasterVolume(), 0.5f);
  EXPECT_EQ(player.BytesToSeconds(0, 32000), 2.5);
  EXPECT_EQ(player.SecondsToBytes(0, 0.02), 640);
  EXPECT_EQ(TakeLog(),
            "BASS_ChannelPause(0)\n"
            "BASS_ChannelStop(0)\n"
            "BASS_ChannelGetPosition(0,0)\n"
            "BASS_ChannelSetPosition(0,1234567890123,0)\n"
            "BASS_ChannelGetLength(0,0)\n"
            "BASS_ChannelIsActive(0)\n"
            "BASS_StreamFree(0)\n"
            "BASS_ChannelSetAttribute(0,2,0.25)\n"
            "BASS_ChannelGetAttribute(0,2)\n"
            "BASS_SetVolume(0.99)\n"
            "BASS_GetVolume()\n"
            "BASS_ChannelBytes2Seconds(0,32000)\n"
            "BASS_ChannelSeconds2Bytes(0,0.02)\n");
}

TEST_F(AudioPlayerCalls, GetSpectrumHandsBackAFreshZeroFilledArrayOf128) {
  std::vector<float> values(300, 9.0f);
  EXPECT_EQ(player.GetSpectrum(7, values), 12);
  EXPECT_EQ(TakeLog(), "BASS_ChannelGetData(7,0x80000000)\n");
  ASSERT_EQ(values.size(), 128u);
  EXPECT_EQ(values[2], 1.5f);
  for (std::size_t i = 3; i < values.size(); ++i) ASSERT_EQ(values[i], 0.0f) << i;
}

TEST_F(AudioPlayerCalls, GetTagsCopiesUpToTheFirstZeroByte) {
  EXPECT_EQ(player.GetTags(7), "TAGRecorded");
  EXPECT_EQ(player.GetTags(9), "") << "no tags";
  EXPECT_EQ(TakeLog(), "BASS_ChannelGetTags(7,0)\nBASS_ChannelGetTags(9,0)\n");
}

}  // namespace
