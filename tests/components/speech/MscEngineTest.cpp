#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "components/msc/msc.h"

namespace {

namespace fs = std::filesystem;

const std::string kConfig =
    "server_url=tts.orvane.invalid:80/index.htm,appid=48213970,timeout=10000,"
    "coding_libs=speex.dll,max_text_size=2048";
// What the read-aloud worker asks for.
const std::string kReadAloud =
    "ssm=1,ent=vivi21,vcn=xiaoyu,spd=4,vol=10,ttp=text,tte=GB2312,bgs=0,aue=speex;7,"
    "auf=audio/L16;rate=16000";

std::string Gb18030(const std::string& utf8) {
  iconv_t converter = iconv_open("GB18030", "UTF-8");
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* target = out.data();
  std::size_t inLeft = utf8.size();
  std::size_t outLeft = out.size();
  iconv(converter, &in, &inLeft, &target, &outLeft);
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

struct Audio {
  std::vector<std::int16_t> samples;
  int error = 0;
  int status = 0;
  int chunks = 0;
  bool oddChunk = false;
  std::string trace;

  double Seconds(int rate) const { return static_cast<double>(samples.size()) / rate; }
  int Peak() const {
    int peak = 0;
    for (std::int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
  }
  // The median voice pitch in Hz: the best autocorrelation lag (60-500 Hz) of each
  // loud 30 ms frame.
  double MedianPitch(int rate) const {
    const std::size_t frame = rate * 3 / 100;
    const double loud = 0.5 * Rms();
    std::vector<double> pitches;
    for (std::size_t at = 0; at + frame <= samples.size(); at += frame) {
      const std::int16_t* x = samples.data() + at;
      double energy = 0;
      for (std::size_t i = 0; i < frame; ++i) energy += static_cast<double>(x[i]) * x[i];
      if (std::sqrt(energy / static_cast<double>(frame)) < loud) continue;
      std::size_t best = 0;
      double bestSum = 0;
      for (std::size_t lag = rate / 500; lag <= static_cast<std::size_t>(rate / 60); ++lag) {
        double sum = 0;
        for (std::size_t i = 0; i + lag < frame; ++i) sum += static_cast<double>(x[i]) * x[i + lag];
        if (sum > bestSum) bestSum = sum, best = lag;
      }
      if (best > 0) pitches.push_back(static_cast<double>(rate) / static_cast<double>(best));
    }
    if (pitches.empty()) return 0;
    std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
    return pitches[pitches.size() / 2];
  }
  double Rms() const {
    double sum = 0;
    for (std::int16_t s : samples) sum += static_cast<double>(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
  }
};

// Polls until the end or an error, as a caller without pauses would.
void Receive(const char* id, Audio& audio) {
  while (audio.status != MSC_TTS_AUDIO_END) {
    unsigned int length = 0;
    const void* chunk = QTTSAudioGet(id, &length, &audio.status, &audio.error);
    if (chunk && length > 0) {
      const auto* samples = static_cast<const std::int16_t*>(chunk);
      audio.samples.insert(audio.samples.end(), samples, samples + length / 2);
      ++audio.chunks;
      audio.oddChunk = audio.oddChunk || length % 2 != 0;
    }
    if (audio.error != MSC_SUCCESS) break;
  }
}

// One whole session: begin, put, receive, (trace), end.
Audio Synthesize(const std::string& params, const std::string& text) {
  Audio audio;
  int error = -1;
  const char* id = QTTSSessionBegin(params.c_str(), &error);
  EXPECT_EQ(error, MSC_SUCCESS) << params;
  if (!id) return audio;
  EXPECT_EQ(QTTSTextPut(id, text.data(), static_cast<unsigned int>(text.size()), ""), MSC_SUCCESS);
  Receive(id, audio);
  if (params.find("trace=1") != std::string::npos) {
    const char* trace = MscSessionTrace(id, &error);
    if (trace) audio.trace = trace;
  }
  EXPECT_EQ(QTTSSessionEnd(id, "done"), MSC_SUCCESS);
  return audio;
}

struct TracedRun {
  std::string voice;
  std::string phonemes;
  friend bool operator==(const TracedRun&, const TracedRun&) = default;
};

std::vector<TracedRun> Runs(const std::string& trace) {
  std::vector<TracedRun> runs;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("run ", 0) != 0) continue;
    const auto space = line.find(' ', 4);
    runs.push_back({line.substr(4, space - 4),
                    space == std::string::npos ? std::string() : line.substr(space + 1)});
  }
  return runs;
}

std::vector<std::size_t> Pieces(const std::string& trace) {
  std::vector<std::size_t> pieces;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("piece ", 0) == 0) pieces.push_back(std::stoul(line.substr(6)));
  return pieces;
}

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (space && (out.empty() || out.back() == ' ')) continue;
    out.push_back(space ? ' ' : c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// espeak-ng's own phoneme output for the UTF-8 text with that voice.
std::string EspeakPhonemes(const std::string& voice, const std::string& utf8) {
  const fs::path file = fs::temp_directory_path() / ("phonemes-" + std::to_string(getpid()));
  std::ofstream(file) << utf8;
  std::string out;
  if (FILE* pipe = popen(("espeak-ng -q -x -v " + voice + " -f " + file.string()).c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  fs::remove(file);
  return OneLine(out);
}

// Mandarin phonemes: every syllable carries its tone as digits and nothing is handed
// to another language, as espeak-ng's broken "cmn" voice does with "(en)".
bool LooksMandarin(const std::string& phonemes) {
  if (phonemes.empty() || phonemes.find('(') != std::string::npos) return false;
  std::istringstream syllables(phonemes);
  std::string syllable;
  while (syllables >> syllable)
    if (std::none_of(syllable.begin(), syllable.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      return false;
  return true;
}

// Mandarin syllables in the traced phonemes: each carries its tone as one group of
// digits.
std::size_t Syllables(const std::string& trace) {
  std::size_t count = 0;
  for (const auto& run : Runs(trace))
    for (std::size_t i = 0; i < run.phonemes.size(); ++i)
      if (std::isdigit(static_cast<unsigned char>(run.phonemes[i])) &&
          (i == 0 || !std::isdigit(static_cast<unsigned char>(run.phonemes[i - 1]))))
        ++count;
  return count;
}

// espeak-ng adds a little randomness (glottal flutter), so the same speech twice is
// the same phonemes in the same voices, at a length within 2 %, not the same samples.
::testing::AssertionResult SameSpeech(const Audio& a, const Audio& b) {
  if (Runs(a.trace).empty()) return ::testing::AssertionFailure() << "no runs traced";
  if (Runs(a.trace) != Runs(b.trace))
    return ::testing::AssertionFailure() << a.trace << "\nversus\n" << b.trace;
  const double ratio =
      static_cast<double>(a.samples.size()) / static_cast<double>(b.samples.size());
  if (ratio < 0.98 || ratio > 1.02)
    return ::testing::AssertionFailure()
           << a.samples.size() << " versus " << b.samples.size() << " samples";
  return ::testing::AssertionSuccess();
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(QTTSInit(kConfig.c_str()), MSC_SUCCESS); }
  void TearDown() override { EXPECT_EQ(QTTSFini(), MSC_SUCCESS); }
};

// --- What comes out -------------------------------------------------------------

TEST_F(EngineTest, ChineseTextGivesAudibleUnclippedSpeechOfPlausibleLength) {
  const std::string text = Gb18030("今天天气很好，我们一起去公园散步。");  // 16 syllables
  const Audio audio = Synthesize(kReadAloud, text);
  EXPECT_EQ(audio.error, MSC_SUCCESS);
  EXPECT_EQ(audio.status, MSC_TTS_AUDIO_END);
  EXPECT_FALSE(audio.oddChunk);
  // Mandarin runs at three to six syllables a second.
  EXPECT_GT(audio.Seconds(16000), 16 / 6.0);
  EXPECT_LT(audio.Seconds(16000), 16 / 3.0 + 1.0);
  EXPECT_GT(audio.Rms(), 1000.0);
  EXPECT_LT(audio.Peak(), 29000);  // headroom below full scale: nothing clipped
}

TEST_F(EngineTest, MixedTextIsReadAsChineseEnglishChinese) {
  const std::string utf8 = "打开Python编辑器";
  const Audio audio = Synthesize(kReadAloud + ",trace=1", Gb18030(utf8));
  EXPECT_EQ(audio.error, MSC_SUCCESS);
  EXPECT_GT(audio.Rms(), 1000.0);
  EXPECT_LT(audio.Peak(), 29000);
  const std::vector<TracedRun> runs = Runs(audio.trace);
  ASSERT_EQ(runs.size(), 3u) << audio.trace;
  EXPECT_EQ(runs[0].voice, "cmn-latn-pinyin");
  EXPECT_EQ(runs[1].voice, "en-us");
  EXPECT_EQ(runs[2].voice, "cmn-latn-pinyin");
  EXPECT_EQ(runs[0].phonemes, EspeakPhonemes(runs[0].voice, "打开"));
  EXPECT_EQ(runs[1].phonemes, EspeakPhonemes(runs[1].voice, "Python"));
  EXPECT_EQ(runs[2].phonemes, EspeakPhonemes(runs[2].voice, "编辑器"));
  EXPECT_TRUE(LooksMandarin(runs[0].phonemes)) << runs[0].phonemes;
  EXPECT_TRUE(LooksMandarin(runs[2].phonemes)) << runs[2].phonemes;
  // The check tells the voices apart: "cmn" reads tone numbers in English.
  EXPECT_FALSE(LooksMandarin(EspeakPhonemes("cmn", "编辑器")));
}

TEST_F(EngineTest, ChineseRunsOfALongerTextAreAllMandarin) {
  const Audio audio =
      Synthesize("vcn=xiaoyan,tte=UTF8,trace=1", "我们用Visual Studio Code写程序，然后运行。");
  const std::vector<TracedRun> runs = Runs(audio.trace);
  ASSERT_EQ(runs.size(), 3u) << audio.trace;
  EXPECT_EQ(runs[0].voice, "cmn-latn-pinyin+f2");
  EXPECT_EQ(runs[1].voice, "en-us+f2");
  EXPECT_EQ(runs[1].phonemes, EspeakPhonemes(runs[1].voice, "Visual Studio Code"));
  EXPECT_EQ(runs[2].phonemes, EspeakPhonemes(runs[2].voice, "写程序，然后运行。"));
  EXPECT_TRUE(LooksMandarin(runs[0].phonemes)) << runs[0].phonemes;
}

// Silence after the last audible sample, in milliseconds.
int TrailingSilenceMs(const Audio& audio) {
  std::size_t end = audio.samples.size();
  while (end > 0 && std::abs(static_cast<int>(audio.samples[end - 1])) <= 60) --end;
  return static_cast<int>((audio.samples.size() - end) * 1000 / 16000);
}

TEST_F(EngineTest, ALineEndingInEnglishEndsWithTheSamePauseAsAnyOther) {
  // A line ending in Chinese, the same line ending in English, and a full stop.
  const int chinese = TrailingSilenceMs(Synthesize(kReadAloud, Gb18030("二、配置编辑器\n")));
  EXPECT_GE(chinese, 250);
  for (const char* line : {"二、配置 VS Code\n", "执行 git switch main \r\n", "Open the file\n"})
    EXPECT_NEAR(TrailingSilenceMs(Synthesize(kReadAloud, Gb18030(line))), chinese, 60) << line;
}

TEST_F(EngineTest, EightKilohertzSessionsGiveHalfTheSamplesOfTheSameSpeech) {
  const std::string text = Gb18030("打开Python编辑器，今天天气很好。");
  const Audio wide = Synthesize(kReadAloud, text);
  std::string narrowParams = kReadAloud;
  narrowParams.replace(narrowParams.find("rate=16000"), 10, "rate=8000");
  const Audio narrow = Synthesize(narrowParams, text);
  EXPECT_EQ(narrow.error, MSC_SUCCESS);
  EXPECT_NEAR(narrow.Seconds(8000) / wide.Seconds(16000), 1.0, 0.02);
  EXPECT_GT(narrow.Rms(), 1000.0);
  EXPECT_LT(narrow.Peak(), 29000);
}

TEST_F(EngineTest, EmptyTextEndsAtOnceWithoutAudio) {
  int error = -1;
  const char* id = QTTSSessionBegin(kReadAloud.c_str(), &error);
  ASSERT_NE(id, nullptr);
  ASSERT_EQ(QTTSTextPut(id, "", 0, ""), MSC_SUCCESS);
  unsigned int length = 99;
  int status = 0;
  const void* chunk = nullptr;
  // The first answers may come before the engine has looked at the text.
  while (status != MSC_TTS_AUDIO_END && error == MSC_SUCCESS) {
    chunk = QTTSAudioGet(id, &length, &status, &error);
    EXPECT_EQ(chunk, nullptr);
    EXPECT_EQ(length, 0u);
  }
  EXPECT_EQ(error, MSC_SUCCESS);
  EXPECT_EQ(status, MSC_TTS_AUDIO_END);
  // And it stays at the end.
  EXPECT_EQ(QTTSAudioGet(id, &length, &status, &error), nullptr);
  EXPECT_EQ(status, MSC_TTS_AUDIO_END);
  EXPECT_EQ(QTTSSessionEnd(id, ""), MSC_SUCCESS);
}

TEST_F(EngineTest, SameTextGivesTheSameSpeechWhateverTheEncodingAndInvalidBytes) {
  const std::string utf8 = "你好，Hello世界。";
  const Audio clean = Synthesize("tte=UTF8,trace=1", utf8);
  ASSERT_EQ(Runs(clean.trace).size(), 3u) << clean.trace;
  // GB2312, GBK and GB18030 name one decoder.
  EXPECT_TRUE(SameSpeech(Synthesize("tte=GB2312,trace=1", Gb18030(utf8)), clean));
  EXPECT_TRUE(SameSpeech(Synthesize("tte=gbk,trace=1", Gb18030(utf8)), clean));
  // Bytes that are no character are skipped: a stray 0x80 and 0xFF, a lead byte with a
  // second byte that cannot follow it, a four-byte character cut short by the end.
  const std::string gb = Gb18030("你好，") + "\x80\xFF" + Gb18030("Hello") + "\xFE\xFF" +
                         Gb18030("世界。") + "\x81\x30\x81";
  EXPECT_TRUE(SameSpeech(Synthesize("tte=GB18030,trace=1", gb), clean));
  // In UTF-8: an overlong form, an encoded surrogate, a lone lead byte, a stray
  // continuation byte.
  const std::string bad = "你好，\xC0\x80Hello\xED\xA0\x80世\xE4界\x80。";
  EXPECT_TRUE(SameSpeech(Synthesize("tte=UTF-8,trace=1", bad), clean));
}

TEST_F(EngineTest, GbkNamesStillReadCharactersOnlyGb18030Has) {
  // ñ is a four-byte character in GB18030, outside GB2312 and GBK.
  ASSERT_EQ(Gb18030("ñ").size(), 4u);
  const Audio gb = Synthesize("tte=GB2312,trace=1", Gb18030("España"));
  const Audio utf8 = Synthesize("tte=UTF8,trace=1", "España");
  const Audio without = Synthesize("tte=UTF8,trace=1", "Espaa");
  EXPECT_EQ(Runs(gb.trace), Runs(utf8.trace));
  EXPECT_NE(Runs(gb.trace), Runs(without.trace));
}

TEST_F(EngineTest, VoicesSpeedVolumeAndPitchChangeTheSpeech) {
  const std::string text = Gb18030("我们一起去公园散步，看看花草树木。");
  const Audio female = Synthesize("vcn=xiaoyan,trace=1", text);
  const Audio male = Synthesize("vcn=xiaoyu,trace=1", text);
  const Audio unknown = Synthesize("vcn=somebody,trace=1", text);
  ASSERT_FALSE(Runs(female.trace).empty());
  ASSERT_FALSE(Runs(male.trace).empty());
  EXPECT_EQ(Runs(female.trace)[0].voice, "cmn-latn-pinyin+f2");
  EXPECT_EQ(Runs(male.trace)[0].voice, "cmn-latn-pinyin");
  EXPECT_TRUE(SameSpeech(unknown, female));
  for (const auto& [name, voice] : {std::pair{"Female3", "cmn-latn-pinyin+f3"},
                                    {"female2", "cmn-latn-pinyin+f2"},
                                    {"male8", "cmn-latn-pinyin+m8"},
                                    {"male9", "cmn-latn-pinyin+f2"}}) {
    const auto runs = Runs(Synthesize(std::string("trace=1,vcn=") + name, text).trace);
    ASSERT_FALSE(runs.empty()) << name;
    EXPECT_EQ(runs[0].voice, voice) << name;
  }

  // pit=5 is the voice's own pitch; higher values raise it.
  const double low = Synthesize("pit=1", text).MedianPitch(16000);
  const double own = Synthesize("", text).MedianPitch(16000);
  const double five = Synthesize("pit=5", text).MedianPitch(16000);
  const double high = Synthesize("pit=9", text).MedianPitch(16000);
  EXPECT_GT(high, 1.5 * low);
  EXPECT_NEAR(five, own, 0.05 * own);

  const Audio slow = Synthesize("spd=2", text);
  const Audio fast = Synthesize("spd=8", text);
  EXPECT_GT(slow.Seconds(16000), 1.5 * fast.Seconds(16000));

  const Audio quiet = Synthesize("vol=2", text);
  const Audio loud = Synthesize("vol=10", text);
  EXPECT_GT(loud.Rms(), 1.5 * quiet.Rms());
  EXPECT_LT(loud.Peak(), 29000);
  EXPECT_TRUE(Synthesize("vol=0", text).Peak() == 0);
}

TEST_F(EngineTest, LongerTextsArriveInSeveralChunksBeforeTheEnd) {
  std::string utf8;
  for (int i = 0; i < 20; ++i) utf8 += "今天天气很好，我们一起去公园散步。";
  const Audio audio = Synthesize("tte=UTF8", utf8);
  EXPECT_EQ(audio.error, MSC_SUCCESS);
  EXPECT_GT(audio.chunks, 5);
  EXPECT_FALSE(audio.oddChunk);
}

TEST_F(EngineTest, AMegabyteTextCompletesInPiecesCutAtSentenceEnds) {
  // Each sentence padded with spaces to 2,000 bytes, so that a piece of at most 2,048
  // bytes holds one sentence end.
  const std::string sentence = Gb18030("你好。");
  const std::string unit = sentence + std::string(2000 - sentence.size(), ' ');
  std::string text;
  while (text.size() < (1u << 20)) text += unit;
  const Audio audio = Synthesize("trace=1", text);
  EXPECT_EQ(audio.error, MSC_SUCCESS);
  EXPECT_EQ(audio.status, MSC_TTS_AUDIO_END);
  EXPECT_GT(audio.Rms(), 100.0);
  const std::vector<std::size_t> pieces = Pieces(audio.trace);
  ASSERT_EQ(pieces.size(), text.size() / unit.size());
  EXPECT_EQ(pieces.front(), unit.size() + sentence.size());
  for (std::size_t i = 1; i + 1 < pieces.size(); ++i) ASSERT_EQ(pieces[i], unit.size()) << i;
  EXPECT_EQ(pieces.back(), unit.size() - sentence.size());
  // Every piece spoke its sentence.
  EXPECT_EQ(Runs(audio.trace).size(), pieces.size() - 1);
}

// espeak-ng by itself drops about a fifth of such a paragraph.
TEST_F(EngineTest, AnUnpunctuatedChineseParagraphIsSpokenWhole) {
  const std::string common =
      "的是了我不人在他有这个上们来到时大地为子中你说生国年着就那和要她出也得里后自以会家可下"
      "而过天去能对小多然于心学么之都好看起发当没成只如事把还用第样道想作种开美总从无情己面最";
  const std::size_t characters = common.size() / 3;  // three bytes each in UTF-8
  std::string plain, commas;
  for (std::size_t i = 0; i < 3000; ++i) {
    const std::string character = common.substr((i * 7 + i / 13) % characters * 3, 3);
    plain += character;
    commas += (i % 20 == 0 && i > 0 ? "，" : "") + character;
  }
  EXPECT_EQ(Syllables(Synthesize("tte=UTF8,trace=1", commas).trace), 3000u);
  EXPECT_EQ(Syllables(Synthesize("tte=UTF8,trace=1", plain).trace), 3000u);
}

class SmallPiecesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QTTSInit("coding_libs=speex.dll,max_text_size=16"), MSC_SUCCESS);
  }
  void TearDown() override { EXPECT_EQ(QTTSFini(), MSC_SUCCESS); }
  std::vector<std::size_t> PiecesOf(const std::string& utf8) {
    return Pieces(Synthesize("tte=UTF8,trace=1", utf8).trace);
  }
};

TEST_F(SmallPiecesTest, PiecesEndAtASentenceThenAClauseThenASpaceThenOutsideAWord) {
  // Two bytes a character in GB18030: pieces count those bytes, not UTF-8's three.
  EXPECT_EQ(Pieces(Synthesize("trace=1", Gb18030("你好，他来了。我们走")).trace),
            (std::vector<std::size_t>{14, 6}));
  EXPECT_EQ(Pieces(Synthesize("trace=1", Gb18030("今天天气很好，我们一起去公园散步。")).trace),
            (std::vector<std::size_t>{14, 16, 4}));
  EXPECT_EQ(PiecesOf("Hello world again and again"), (std::vector<std::size_t>{12, 15}));
  // Not inside a Latin word or a number, unless the word alone is longer than a piece.
  EXPECT_EQ(PiecesOf("你好你abcdefghij"), (std::vector<std::size_t>{9, 10}));
  EXPECT_EQ(PiecesOf("你好你1234567.89"), (std::vector<std::size_t>{9, 10}));
  EXPECT_EQ(PiecesOf("abcdefghijklmnopqrstuvwxyz"), (std::vector<std::size_t>{16, 10}));
  // A sentence end with its closing quote stays in the piece.
  EXPECT_EQ(PiecesOf("He said \"go.\" and left"), (std::vector<std::size_t>{13, 9}));
}

// --- Misuse ---------------------------------------------------------------------

TEST(EngineMisuseTest, EveryCallBeforeInitIsRefused) {
  int error = 0;
  unsigned int length = 7;
  int status = 0;
  EXPECT_EQ(QTTSSessionBegin("", &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NOT_INIT);
  EXPECT_EQ(QTTSTextPut("msc-1", "a", 1, ""), MSC_ERROR_NOT_INIT);
  EXPECT_EQ(QTTSAudioGet("msc-1", &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NOT_INIT);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(status, MSC_TTS_AUDIO_END);
  EXPECT_EQ(QTTSSessionEnd("msc-1", ""), MSC_ERROR_NOT_INIT);
  EXPECT_EQ(QTTSFini(), MSC_ERROR_NOT_INIT);
}

TEST(EngineMisuseTest, BadConfigurationsAreRefusedWithTheirCodes) {
  EXPECT_EQ(QTTSInit(nullptr), MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(QTTSInit("coding_libs=speex.dll,timeout"), MSC_ERROR_MALFORMED_PARAMS);
  EXPECT_EQ(QTTSInit("coding_libs=speex.dll,=1"), MSC_ERROR_MALFORMED_PARAMS);
  EXPECT_EQ(QTTSInit("coding_libs=speex.dll,max_text_size=big"), MSC_ERROR_INVALID_VALUE);
  EXPECT_EQ(QTTSInit("coding_libs=speex.dll,max_text_size=8"), MSC_ERROR_INVALID_VALUE);
  EXPECT_EQ(QTTSInit("coding_libs=speex.dll,timeout=-1"), MSC_ERROR_INVALID_VALUE);
  EXPECT_EQ(QTTSInit("coding_libs=../speex.dll"), MSC_ERROR_INVALID_VALUE);
  EXPECT_EQ(QTTSInit("appid=1"), MSC_ERROR_CODING_LIB);
  EXPECT_EQ(QTTSInit("coding_libs=nosuch.dll"), MSC_ERROR_CODING_LIB);
  // There, but not a coding library.
  EXPECT_EQ(QTTSInit("coding_libs=msc.dll"), MSC_ERROR_CODING_LIB);
  int error = 0;
  EXPECT_EQ(QTTSSessionBegin("", &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NOT_INIT);

  ASSERT_EQ(QTTSInit(kConfig.c_str()), MSC_SUCCESS);
  EXPECT_EQ(QTTSInit(kConfig.c_str()), MSC_ERROR_ALREADY_INIT);
  EXPECT_EQ(QTTSFini(), MSC_SUCCESS);
  EXPECT_EQ(QTTSFini(), MSC_ERROR_NOT_INIT);
}

TEST_F(EngineTest, BadSessionParametersAreRefusedWithTheirCodes) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"vcn", MSC_ERROR_MALFORMED_PARAMS},
      {"spd=5,=3", MSC_ERROR_MALFORMED_PARAMS},
      {"spd=11", MSC_ERROR_INVALID_VALUE},
      {"spd=fast", MSC_ERROR_INVALID_VALUE},
      {"vol=-1", MSC_ERROR_INVALID_VALUE},
      {"pit=11", MSC_ERROR_INVALID_VALUE},
      {"tte=BIG5", MSC_ERROR_INVALID_VALUE},
      {"auf=audio/L16;rate=44100", MSC_ERROR_INVALID_VALUE},
      {"auf=audio/mpeg", MSC_ERROR_INVALID_VALUE},
      {"bgs=some", MSC_ERROR_INVALID_VALUE},
      {"trace=yes", MSC_ERROR_INVALID_VALUE},
  };
  for (const auto& [params, code] : cases) {
    int error = 0;
    EXPECT_EQ(QTTSSessionBegin(params.c_str(), &error), nullptr) << params;
    EXPECT_EQ(error, code) << params;
  }
  // A refused begin needs no error pointer either.
  EXPECT_EQ(QTTSSessionBegin("spd=11", nullptr), nullptr);
}

TEST_F(EngineTest, MisusedSessionsAreRefusedWithTheirCodes) {
  int error = -1;
  const char* id = QTTSSessionBegin(nullptr, &error);  // null parameters: the defaults
  ASSERT_NE(id, nullptr);
  unsigned int length = 0;
  int status = 0;

  EXPECT_EQ(QTTSAudioGet(id, &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NO_TEXT);
  EXPECT_EQ(status, MSC_TTS_AUDIO_END);
  EXPECT_EQ(QTTSAudioGet(id, nullptr, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NULL_ARGUMENT);

  EXPECT_EQ(QTTSTextPut(nullptr, "a", 1, ""), MSC_ERROR_INVALID_SESSION);
  EXPECT_EQ(QTTSTextPut("nonsense", "a", 1, ""), MSC_ERROR_INVALID_SESSION);
  EXPECT_EQ(QTTSTextPut("msc-999999999", "a", 1, ""), MSC_ERROR_INVALID_SESSION);
  EXPECT_EQ(QTTSTextPut(id, nullptr, 5, ""), MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(QTTSTextPut(id, "a", 1, "ttp"), MSC_ERROR_MALFORMED_PARAMS);
  EXPECT_EQ(QTTSTextPut(id, "a", 1, nullptr), MSC_SUCCESS);
  EXPECT_EQ(QTTSTextPut(id, "b", 1, ""), MSC_ERROR_TEXT_ALREADY_PUT);

  EXPECT_EQ(QTTSAudioGet(nullptr, &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_INVALID_SESSION);
  EXPECT_EQ(MscSessionTrace(id, &error), nullptr);  // begun without trace=1
  EXPECT_EQ(error, MSC_ERROR_INVALID_VALUE);

  EXPECT_EQ(QTTSFini(), MSC_ERROR_SESSION_OPEN);
  EXPECT_EQ(QTTSSessionEnd(nullptr, ""), MSC_ERROR_INVALID_SESSION);
  EXPECT_EQ(QTTSSessionEnd("nonsense", ""), MSC_ERROR_INVALID_SESSION);
  const std::string ended = id;  // the engine's text goes with the session
  EXPECT_EQ(QTTSSessionEnd(id, ""), MSC_SUCCESS);

  // The id of an ended session is known as such; ending it again changes nothing.
  EXPECT_EQ(QTTSTextPut(ended.c_str(), "a", 1, ""), MSC_ERROR_SESSION_ENDED);
  EXPECT_EQ(QTTSAudioGet(ended.c_str(), &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_SESSION_ENDED);
  EXPECT_EQ(status, MSC_TTS_AUDIO_END);
  EXPECT_EQ(QTTSSessionEnd(ended.c_str(), ""), MSC_SUCCESS);
}

// --- Threads --------------------------------------------------------------------

TEST_F(EngineTest, EndingASessionWhileItSynthesisesStopsItsReader) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "今天天气很好，我们一起去公园散步。";
  int error = -1;
  const char* id = QTTSSessionBegin("tte=UTF8", &error);
  ASSERT_NE(id, nullptr);
  const std::string copy = id;  // the reader keeps its own copy, as SpeechSession does
  ASSERT_EQ(QTTSTextPut(id, text.data(), static_cast<unsigned int>(text.size()), ""), MSC_SUCCESS);
  std::promise<void> firstAudio;
  Audio audio;
  std::thread reader([&] {
    bool told = false;
    while (audio.status != MSC_TTS_AUDIO_END && audio.error == MSC_SUCCESS) {
      unsigned int length = 0;
      const void* chunk = QTTSAudioGet(copy.c_str(), &length, &audio.status, &audio.error);
      if (chunk && length > 0) audio.samples.resize(audio.samples.size() + length / 2);
      if (!told && !audio.samples.empty()) {
        told = true;
        firstAudio.set_value();
      }
    }
    if (!told) firstAudio.set_value();
  });
  firstAudio.get_future().wait();
  EXPECT_EQ(QTTSSessionEnd(id, ""), MSC_SUCCESS);
  reader.join();
  EXPECT_EQ(audio.error, MSC_ERROR_SESSION_ENDED);
  EXPECT_EQ(audio.status, MSC_TTS_AUDIO_END);
  // 200 sentences are minutes of speech; the end came long before.
  EXPECT_LT(audio.Seconds(16000), 200 * 3.0);
}

TEST_F(EngineTest, EndingASessionRightAfterItsTextLeavesTheEngineReady) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "今天天气很好，我们一起去公园散步。";
  for (int round = 0; round < 3; ++round) {
    const char* id = QTTSSessionBegin("tte=UTF8", nullptr);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(QTTSTextPut(id, text.data(), static_cast<unsigned int>(text.size()), ""),
              MSC_SUCCESS);
    EXPECT_EQ(QTTSSessionEnd(id, ""), MSC_SUCCESS);
  }
  EXPECT_GT(Synthesize("tte=UTF8", "你好").Rms(), 1000.0);
}

TEST_F(EngineTest, SessionsSynthesisedSideBySideKeepTheirOwnAudio) {
  const std::string first = "今天天气很好。";
  const std::string second = "打开Python编辑器，写一个程序。";
  const std::string firstParams = "tte=UTF8,vcn=xiaoyu,trace=1";
  const std::string secondParams = "tte=UTF8,auf=audio/L16;rate=8000,trace=1";
  const Audio firstAlone = Synthesize(firstParams, first);
  const Audio secondAlone = Synthesize(secondParams, second);

  const char* a = QTTSSessionBegin(firstParams.c_str(), nullptr);
  const char* b = QTTSSessionBegin(secondParams.c_str(), nullptr);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(QTTSTextPut(a, first.data(), static_cast<unsigned int>(first.size()), ""), 0);
  ASSERT_EQ(QTTSTextPut(b, second.data(), static_cast<unsigned int>(second.size()), ""), 0);
  Audio secondTogether;
  Audio firstTogether;
  std::thread other([&] { Receive(b, secondTogether); });
  Receive(a, firstTogether);
  other.join();
  firstTogether.trace = MscSessionTrace(a, nullptr);
  secondTogether.trace = MscSessionTrace(b, nullptr);
  EXPECT_TRUE(SameSpeech(firstTogether, firstAlone));
  EXPECT_TRUE(SameSpeech(secondTogether, secondAlone));
  EXPECT_EQ(QTTSSessionEnd(a, ""), MSC_SUCCESS);
  EXPECT_EQ(QTTSSessionEnd(b, ""), MSC_SUCCESS);
}

TEST(EngineLifecycleTest, TheEngineStartsAgainAfterItStopped) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(QTTSInit(kConfig.c_str()), MSC_SUCCESS);
    EXPECT_GT(Synthesize("tte=UTF8", "你好").Rms(), 1000.0);
    EXPECT_EQ(QTTSFini(), MSC_SUCCESS);
  }
}

}  // namespace
