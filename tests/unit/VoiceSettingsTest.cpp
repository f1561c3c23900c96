#include "speech/VoiceSettings.h"

#include <gtest/gtest.h>

#include "app/Program.h"
#include "app/VoiceSettingsHandler.h"
#include "speech/PiecePipeline.h"
#include "speech/VoiceSample.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

const std::string kDesigned =
    "ssm=1,ent=vivi21,vcn=xiaoyu,spd=4,vol=10,ttp=text,tte=GB2312,bgs=0,aue=speex;7,"
    "auf=audio/L16;rate=16000";

// The voice settings against the fake, with recording stand-ins of the speech engine and
// the audio library in the program's folder.
class VoiceSettingsTest : public ::testing::Test {
 protected:
  template <typename Function>
  Function* Recorder(const char* library, const char* name) {
    return reinterpret_cast<Function*>(services.LibraryFunctionAddress(library, name));
  }
  void SetUp() override {
    Recorder<void()>("msc.dll", "RecorderReset")();
    Recorder<const char*()>("bass.dll", "RecorderTakeLog")();
  }
  void ForgetEngineCalls() { Recorder<void()>("msc.dll", "RecorderReset")(); }
  // What the engine was given since the last reset: the parameter texts of the sessions
  // begun, or the session ids and texts put.
  std::vector<std::string> EngineCalls(const std::string& function) {
    std::vector<std::string> found;
    const int count = Recorder<int()>("msc.dll", "RecorderCallCount")();
    for (int i = 0; i < count; ++i) {
      const std::string call = Recorder<const char*(int)>("msc.dll", "RecorderCall")(i);
      if (call.rfind(function + "|", 0) != 0) continue;
      const std::string rest = call.substr(function.size() + 1);
      found.push_back(rest.substr(0, rest.find('|', function == "QTTSTextPut" ? 6 : 0)));
    }
    return found;
  }
  // What the narration export's pipeline asks the engine for, one sentence.
  std::vector<std::string> ExportBegins() {
    struct Discard : PieceOutlet {
      std::int64_t taken = 0;
      bool Take(const std::uint8_t*, std::size_t bytes) override {
        taken += static_cast<std::int64_t>(bytes);
        return true;
      }
      std::int64_t Heard() override { return taken; }
      bool Finish() override { return true; }
    } outlet;
    ForgetEngineCalls();
    PiecePipeline pieces(services, program.speech);
    pieces.Run("你好。", outlet, PiecePipeline::Silence::Refuse);
    return EngineCalls("QTTSSessionBegin");
  }

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  Program program{services};
};

TEST_F(VoiceSettingsTest, TheDesignedTextUntilChangedThenTheStoredValuesAndBadOnesFallBackSaidSo) {
  EXPECT_EQ(ExportBegins(), std::vector<std::string>{kDesigned});
  // The designed values stored: still character for character the designed text.
  ASSERT_TRUE(SaveVoiceSettings(services, VoiceSettings()));
  EXPECT_EQ(ExportBegins(), std::vector<std::string>{kDesigned});

  const VoiceSettings changed{7, 3, 8, "female3"};
  ASSERT_TRUE(SaveVoiceSettings(services, changed));
  EXPECT_EQ(LoadVoiceSettings(services).voice, changed);
  EXPECT_EQ(ExportBegins(),
            std::vector<std::string>{"ssm=1,ent=vivi21,vcn=female3,spd=7,vol=3,pit=8,ttp=text,"
                                     "tte=GB2312,bgs=0,aue=speex;7,auf=audio/L16;rate=16000"});

  services.settings = {{"voice/speed", "11"},
                       {"voice/volume", "loud"},
                       {"voice/pitch", " 6"},
                       {"voice/name", "xiaoming"}};
  const StoredVoiceSettings stored = LoadVoiceSettings(services);
  EXPECT_EQ(stored.voice, VoiceSettings());
  std::vector<Text> keys;
  for (const UnusableVoiceSetting& bad : stored.unusable) keys.push_back(bad.key + "=" + bad.value);
  EXPECT_EQ(keys, (std::vector<Text>{"voice/speed=11", "voice/volume=loud", "voice/pitch= 6",
                                     "voice/name=xiaoming"}));
  EXPECT_EQ(ExportBegins(), std::vector<std::string>{kDesigned});
  const std::vector<Text> told = services.Problems();
  ASSERT_EQ(told.size(), 4u) << "each unusable value is told on standard error";
  EXPECT_NE(told[3].find("voice/name \"xiaoming\""), Text::npos) << told[3];
}

TEST_F(VoiceSettingsTest, TheDialogOpensOnTheStoredValuesPlaysTheEditedOnesAndStoresTheChosen) {
  services.settings = {{"voice/speed", "6"}, {"voice/pitch", "12"}};
  static const std::vector<std::uint8_t> pcm(3200, 0x11);
  Recorder<void(const void*, unsigned, int, int)>("msc.dll", "RecorderQueueAudio")(
      pcm.data(), static_cast<unsigned>(pcm.size()), 2, 0);
  VoiceDialogSetup shown;
  Text played = "-", refused;
  std::vector<std::string> sampleBegins, samplePuts;
  std::string sampleAudio;
  VoiceDialogValues edited;
  services.voiceDialog = [&](const VoiceDialogSetup& setup,
                             const FakeRuntimeServices::VoicePreview& preview) {
    shown = setup;
    edited = setup.current;
    edited.volume = 5;
    edited.voice = 2;  // 男声 2
    played = preview(edited);
    sampleBegins = EngineCalls("QTTSSessionBegin");
    samplePuts = EngineCalls("QTTSTextPut");
    sampleAudio = Recorder<const char*()>("bass.dll", "RecorderTakeLog")();
    ForgetEngineCalls();
    program.reading.worker = 99;  // a reading is under way: the sample gives way
    refused = preview(edited);
    program.reading.worker = 0;
    return std::optional(edited);
  };
  VoiceSettingsClicked(program);

  EXPECT_EQ(shown.current, (VoiceDialogValues{6, 10, 5, 0}));
  EXPECT_EQ(shown.designed, (VoiceDialogValues{4, 10, 5, 0}));
  EXPECT_EQ(shown.voices.size(), ReadingVoices().size());
  EXPECT_EQ(shown.voices[2], "男声 2");
  EXPECT_NE(shown.note.find("音调“12”"), Text::npos) << shown.note;

  EXPECT_EQ(played, "");
  EXPECT_EQ(sampleBegins, std::vector<std::string>{
                              "ssm=1,ent=vivi21,vcn=male2,spd=6,vol=5,ttp=text,tte=GB2312,bgs=0,"
                              "aue=speex;7,auf=audio/L16;rate=16000"});
  EXPECT_EQ(samplePuts, std::vector<std::string>{"sid-1|" + Text(kVoiceSampleText)});
  for (const char* step : {"BASS_SetVolume(0.99)", "BASS_StreamCreate(16000,1,0,push,",
                           "BASS_StreamPutData(7,data,3200|end)", "BASS_ChannelPlay(7,"})
    EXPECT_NE(sampleAudio.find(step), std::string::npos) << step << " in " << sampleAudio;
  EXPECT_EQ(refused, "正在朗读：结束朗读后才能试听。");
  EXPECT_TRUE(EngineCalls("QTTSSessionBegin").empty()) << "nothing is synthesised then";

  const std::string closing = Recorder<const char*()>("bass.dll", "RecorderTakeLog")();
  EXPECT_NE(closing.find("BASS_StreamFree(7)"), std::string::npos)
      << "closing the dialog ends the sample";
  EXPECT_EQ(LoadVoiceSettings(services).voice, (VoiceSettings{6, 5, 5, "male2"}));
}

}  // namespace
