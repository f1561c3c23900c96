// Speech benchmarks: SpeechSession with the real engine against the espeak-ng command
// line synthesising the same text in the same run, the first chunk of a long text, peak
// memory and the CPU that a caller's receive loop spends while it waits.
//
// Usage: speech_bench            (all figures)
//        speech_bench --memory   (one 10,000-character reading; prints peak memory)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "components/msc/msc.h"
#include "framework/TextCodec.h"
#include "speech/SpeechSession.h"
#include "support/FakeRuntimeServices.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// spd=4 of the read-aloud session is espeak-ng rate 175 * 2^(-1/5) = 152; vol=10 is 100.
constexpr const char* kEspeakRate = "152";
const std::string kReadAloud =
    "ssm=1,ent=vivi21,vcn=xiaoyu,spd=4,vol=10,ttp=text,tte=GB2312,bgs=0,aue=speex;7,"
    "auf=audio/L16;rate=16000";

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double ThreadCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Chinese prose-like text: a clause end every 15 characters, a sentence end every 45.
Text ChineseText(int characters) {
  const Text base = "今天天气很好我们一起去公园散步看看花草树木听听鸟儿唱歌";  // 2 bytes each
  Text text;
  for (int i = 0; i < characters; ++i) {
    text += base.substr(static_cast<std::size_t>(i) * 2 % base.size(), 2);
    if (i % 15 == 14) text += i % 45 == 44 ? "。" : "，";
  }
  return text;
}

double CpuMilliseconds(const rusage& usage) {
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// CPU of every thread of this process so far.
double ProcessCpuMilliseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuMilliseconds(usage);
}

// The exit status; *cpu receives the child's CPU time when not null.
int RunCommand(const std::vector<std::string>& arguments, double* cpu = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (cpu) *cpu = CpuMilliseconds(usage);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Reading {
  double milliseconds = 0;
  double cpuMilliseconds = 0;  // all threads of the reader
  double audioSeconds = 0;
  double loopCpuMilliseconds = 0;
};

Reading ReadThroughSession(SpeechSession& session, const Text& text) {
  session.BeginSession("xiaoyu", 0, 10, 0);
  Reading reading;
  const auto start = Clock::now();
  const double processBefore = ProcessCpuMilliseconds();
  session.PutText(text);
  const double cpuBefore = ThreadCpuMilliseconds();
  const ByteBuffer image = session.ReceiveAudio();
  reading.loopCpuMilliseconds = ThreadCpuMilliseconds() - cpuBefore;
  reading.milliseconds = Milliseconds(Clock::now() - start);
  reading.cpuMilliseconds = ProcessCpuMilliseconds() - processBefore;
  reading.audioSeconds = image.size() > 44 ? (image.size() - 44) / 32000.0 : 0;
  return reading;
}

Reading ReadThroughCommandLine(const fs::path& textFile, const fs::path& wave) {
  Reading reading;
  const auto start = Clock::now();
  RunCommand({"espeak-ng", "-v", "cmn-latn-pinyin", "-s", kEspeakRate, "-a", "100", "-f",
              textFile.string(), "-w", wave.string()},
             &reading.cpuMilliseconds);
  reading.milliseconds = Milliseconds(Clock::now() - start);
  const auto bytes = fs::exists(wave) ? fs::file_size(wave) : 0;
  reading.audioSeconds = bytes > 44 ? (bytes - 44) / 44100.0 : 0;
  return reading;
}

// PutText to the first chunk through the C API; the session is ended at once after.
double FirstChunkMilliseconds(const Text& text) {
  const char* id = QTTSSessionBegin(kReadAloud.c_str(), nullptr);
  const std::string sessionId = id ? id : "";
  const auto start = Clock::now();
  QTTSTextPut(sessionId.c_str(), text.data(), static_cast<unsigned int>(text.size()), "");
  int status = 0;
  int error = 0;
  double elapsed = -1;
  while (status != MSC_TTS_AUDIO_END && error == MSC_SUCCESS) {
    unsigned int length = 0;
    if (QTTSAudioGet(sessionId.c_str(), &length, &status, &error) && length > 0) {
      elapsed = Milliseconds(Clock::now() - start);
      break;
    }
  }
  QTTSSessionEnd(sessionId.c_str(), "");
  return elapsed;
}

// A caller polling without pauses and keeping nothing: its thread's CPU over the wall time.
double PollingCpuShare(const Text& text) {
  const char* id = QTTSSessionBegin(kReadAloud.c_str(), nullptr);
  const std::string sessionId = id ? id : "";
  const auto start = Clock::now();
  const double cpuBefore = ThreadCpuMilliseconds();
  QTTSTextPut(sessionId.c_str(), text.data(), static_cast<unsigned int>(text.size()), "");
  int status = 0;
  int error = 0;
  long calls = 0;
  while (status != MSC_TTS_AUDIO_END && error == MSC_SUCCESS) {
    unsigned int length = 0;
    QTTSAudioGet(sessionId.c_str(), &length, &status, &error);
    ++calls;
  }
  const double cpu = ThreadCpuMilliseconds() - cpuBefore;
  const double wall = Milliseconds(Clock::now() - start);
  QTTSSessionEnd(sessionId.c_str(), "");
  std::printf("  polling loop: %ld calls in %.0f ms, %.1f ms CPU\n", calls, wall, cpu);
  return cpu / wall;
}

// A caller whose session waits behind another one's synthesis: nothing arrives for it,
// so its loop does nothing but wait. Its thread's CPU over one second of that.
double IdleWaitCpuShare(const Text& text) {
  const char* busy = QTTSSessionBegin(kReadAloud.c_str(), nullptr);
  const std::string busyId = busy ? busy : "";
  const char* waiting = QTTSSessionBegin(kReadAloud.c_str(), nullptr);
  const std::string waitingId = waiting ? waiting : "";
  QTTSTextPut(busyId.c_str(), text.data(), static_cast<unsigned int>(text.size()), "");
  QTTSTextPut(waitingId.c_str(), text.data(), static_cast<unsigned int>(text.size()), "");
  const auto start = Clock::now();
  const double cpuBefore = ThreadCpuMilliseconds();
  long calls = 0;
  unsigned int received = 0;
  while (Clock::now() - start < std::chrono::seconds(1)) {
    unsigned int length = 0;
    int status = 0;
    int error = 0;
    QTTSAudioGet(waitingId.c_str(), &length, &status, &error);
    received += length;
    ++calls;
  }
  const double cpu = ThreadCpuMilliseconds() - cpuBefore;
  const double wall = Milliseconds(Clock::now() - start);
  QTTSSessionEnd(waitingId.c_str(), "");
  QTTSSessionEnd(busyId.c_str(), "");
  std::printf("  waiting loop: %ld calls in %.0f ms, %.2f ms CPU, %u bytes received\n", calls, wall,
              cpu, received);
  return cpu / wall;
}

// The process's peak resident memory (VmHWM): unlike ru_maxrss it starts afresh at exec
// rather than carrying over the spawning process's peak.
long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

int MemoryRun(FakeRuntimeServices& services) {
  SpeechSession session(services);
  session.Initialize();
  const Text text = ChineseText(10000);
  const long before = PeakKilobytes();
  const Reading reading = ReadThroughSession(session, text);
  const long after = PeakKilobytes();
  std::printf("  peak RSS before the reading %ld KB, after %ld KB (%.0f s of audio, %.0f MB PCM)\n",
              before, after, reading.audioSeconds, reading.audioSeconds * 32000 / 1e6);
  session.Finalize();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  FakeRuntimeServices services;
  services.programDirectory = ENGINE_FOLDER;  // the built msc.dll and speex.dll
  if (argc > 1 && std::string(argv[1]) == "--memory") return MemoryRun(services);

  SpeechSession session(services);
  if (session.Initialize() != 0) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }
  const fs::path scratch = fs::temp_directory_path() / ("speech-bench-" + std::to_string(getpid()));
  fs::create_directories(scratch);

  std::printf("PutText to complete WaveImage, against espeak-ng on the command line (medians)\n");
  for (const int characters : {100, 1000, 10000}) {
    const Text text = ChineseText(characters);
    const fs::path textFile = scratch / "text.txt";
    std::ofstream(textFile) << Utf8FromText(text);
    const int runs = characters < 10000 ? 7 : 3;
    std::vector<double> engine, command, engineCpu, commandCpu;
    Reading lastEngine, lastCommand;
    ReadThroughSession(session, text);  // warm-up of both
    ReadThroughCommandLine(textFile, scratch / "out.wav");
    for (int run = 0; run < runs; ++run) {  // alternating, so that load hits both alike
      lastEngine = ReadThroughSession(session, text);
      engine.push_back(lastEngine.milliseconds);
      engineCpu.push_back(lastEngine.cpuMilliseconds);
      lastCommand = ReadThroughCommandLine(textFile, scratch / "out.wav");
      command.push_back(lastCommand.milliseconds);
      commandCpu.push_back(lastCommand.cpuMilliseconds);
    }
    std::printf(
        "  %5d characters: engine %7.1f ms, espeak-ng %7.1f ms, ratio %.2f; CPU %7.1f ms vs "
        "%7.1f ms, ratio %.2f (audio %.1f s vs %.1f s)\n",
        characters, Median(engine), Median(command), Median(engine) / Median(command),
        Median(engineCpu), Median(commandCpu), Median(engineCpu) / Median(commandCpu),
        lastEngine.audioSeconds, lastCommand.audioSeconds);
  }

  std::printf("PutText to first chunk, 10,000 characters\n");
  const Text longText = ChineseText(10000);
  std::vector<double> first;
  for (int run = 0; run < 7; ++run) first.push_back(FirstChunkMilliseconds(longText));
  std::printf("  median %.1f ms (min %.1f, max %.1f)\n", Median(first),
              *std::min_element(first.begin(), first.end()),
              *std::max_element(first.begin(), first.end()));

  std::printf("CPU of a caller's receive loop while the engine works, 10,000 characters\n");
  std::printf("  share of one core: %.2f %%\n", 100 * PollingCpuShare(longText));
  std::printf("  share of one core while no audio comes: %.3f %%\n",
              100 * IdleWaitCpuShare(longText));
  const Reading reading = ReadThroughSession(session, longText);
  std::printf(
      "  SpeechSession::ReceiveAudio, copying every chunk: %.0f ms CPU in %.0f ms (%.2f %%)\n",
      reading.loopCpuMilliseconds, reading.milliseconds,
      100 * reading.loopCpuMilliseconds / reading.milliseconds);
  session.Finalize();
  fs::remove_all(scratch);

  std::printf("Peak memory, one reading of 10,000 characters in a fresh process\n");
  std::fflush(stdout);
  return RunCommand({argv[0], "--memory"}) == 0 ? 0 : 1;
}
