// Real MIDI between processes, over JACK (bench/run-jack-bench, inside a JACK server of its own)
// or over the ALSA sequencer and Linux's USB-MIDI driver (bench/run-usb-bench, in the test
// machine, with the instrument behind the USB gadget):
//  - the real-time ratio of an installation between two processes: velda-installer writing a
//    1 MiB entry into velda-sim (which answers at once and does not restart), the installer's
//    wall-clock time divided by the pauses the protocol mandates for that run (pause_budget.h);
//  - the round trip of a 2821-byte data packet answered by an 8-byte reply, through the rtmidi
//    backend of the driver layer, beside a bare RtMidi ping-pong of the same sizes against the
//    same echoing peer, alternating in the same run; medians.
// Over USB there is one link and one peer behind it, so the round trip is the backend's alone
// (--port), and the installation's ratio also counts that round trip once per reply: a USB link
// is slower than the pauses' model, and the figure is to show what the program adds. The script
// then runs the echoing peer (--echo) and velda-sim (--sim-pid) itself.
#include <fcntl.h>
#include <pthread.h>
#include <rtmidi/RtMidi.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "instrument/instrument_memory.h"
#include "midi/driver/rtmidi/rt_api.h"
#include "midi/driver/rtmidi/rtmidi_midi_driver.h"
#include "support/bench_package.h"
#include "support/pause_budget.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacket = 2821;
constexpr std::size_t kReply = 8;
constexpr double kGoalRatio = 1.05;
constexpr double kGoalOverhead = 0.10;

struct COptions {
  velda::rtmidi::EMidiApi eApi = velda::rtmidi::EMidiApi::Jack;
  std::string strInstaller;
  std::string strSim;
  pid_t pidSim = -1;    // a velda-sim the script started, whose dump goes to --work/memory at its end
  std::string strPort;  // the instrument's port both ways (USB); empty: the echoes' and the defaults
  std::string strEcho;  // run only an echoing peer with ports "to NAME" and "from NAME"
  std::string strWork = "/tmp";
  std::uint32_t nMiB = 1;
  int nRounds = 300;
  double dLinkRttMs = 0;  // the link's measured round trip, counted once per reply
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> a) {
  std::sort(a.begin(), a.end());
  return a.empty() ? 0.0 : a[a.size() / 2];
}

pid_t Spawn(const std::vector<std::string>& aArgs, const std::string& strOut) {
  std::vector<char*> argv;
  argv.reserve(aArgs.size() + 1);
  for (const std::string& s : aArgs) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  const int nErr = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return nErr == 0 ? pid : -1;
}

int WaitExit(pid_t pid) {
  int nStatus = 0;
  waitpid(pid, &nStatus, 0);
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

bool WaitForPorts(velda::rtmidi::EMidiApi eApi, const std::string& strName) {
  RtMidiIn probe(velda::rtmidi::RtApiOf(eApi), "velda-bench-probe");
  for (int i = 0; i < 400; ++i) {
    for (unsigned int n = 0; n < probe.getPortCount(); ++n) {
      if (probe.getPortName(n).find(strName) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

// Whether a process we did not start still runs (its parent, the script, reaps it only later).
bool IsRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string strLine;
  if (!std::getline(stat, strLine)) return false;
  const std::size_t nClose = strLine.rfind(')');
  return nClose != std::string::npos && nClose + 2 < strLine.size() && strLine[nClose + 2] != 'Z';
}

// ---- The installation between two processes ----

bool RunInstallation(const COptions& opt) {
  const std::string strDir = opt.strWork;
  velda::bench::CBenchPlan plan;
  plan.nEntrySize = opt.nMiB << 20;
  std::string strError;
  const std::string strPackage = strDir + "/bench.uxs";
  if (!velda::bench::WriteBenchPackage(strPackage, plan, strError)) {
    std::printf("cannot write the package: %s\n", strError.c_str());
    return false;
  }
  const std::string strDump = strDir + "/memory";
  pid_t pidSim = opt.pidSim;
  const bool bOwnSim = pidSim < 0;
  if (bOwnSim) {
    pidSim = Spawn({opt.strSim, "--midi-api", velda::rtmidi::NameOf(opt.eApi), "--instrument", "restart=off",
                    "--instrument", "latency-ms=0", "--dump", strDump},
                   strDir + "/sim.txt");
    if (pidSim < 0 || !WaitForPorts(opt.eApi, "HALVEN USB IN 0-1")) {
      std::printf("velda-sim did not start\n");
      return false;
    }
  }
  const std::string strTrace = strDir + "/trace.txt";
  std::vector<std::string> aArgs = {
      opt.strInstaller, "--yes",    "--tui",   "--midi-api", velda::rtmidi::NameOf(opt.eApi),
      "--package",      strPackage, "--trace", strTrace};
  if (!opt.strPort.empty()) aArgs.insert(aArgs.end(), {"--midi-in", opt.strPort, "--midi-out", opt.strPort});
  const Clock::time_point t0 = Clock::now();
  const pid_t pid = Spawn(aArgs, strDir + "/installer.txt");
  const int nExit = pid < 0 ? -1 : WaitExit(pid);
  const double dWallMs = Ms(Clock::now() - t0);
  kill(pidSim, SIGTERM);
  if (bOwnSim) {
    WaitExit(pidSim);
  } else {
    while (IsRunning(pidSim)) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the dump is written
  }

  velda::bench::CPauseCounts counts;
  std::ifstream trace(strTrace);
  std::uint64_t nSent = 0;
  for (std::string strLine; std::getline(trace, strLine);) {
    std::istringstream in(strLine);
    std::string strTime;
    std::string strDir2;
    in >> strTime >> strDir2;
    if (strDir2 == "<") ++counts.nReplies;
    if (strDir2 == ">") ++nSent;
  }
  counts.nEntriesLoaded = 1;
  counts.nInputStops = 3;  // the input's close at the end finds the device present
  velda::CInstrumentMemory memory;
  bool bMemoryOk = velda::LoadHexFolder(strDump, memory, strError);
  for (std::uint32_t i = 0; bMemoryOk && i < plan.nEntrySize; ++i) {
    bMemoryOk = memory.Device(plan.nDevice).Read(plan.nAddress + i) == velda::bench::EntryByte(i);
  }
  const double dMandated = static_cast<double>(velda::bench::MandatedPauseMs(counts)) +
                           static_cast<double>(counts.nReplies) * opt.dLinkRttMs;
  std::printf("Installation of %u MiB over %s, velda-installer -> velda-sim\n", opt.nMiB,
              opt.strPort.empty() ? "JACK" : opt.strPort.c_str());
  std::printf("  exit code %d, %llu requests, %llu replies, memory %s\n", nExit, static_cast<unsigned long long>(nSent),
              static_cast<unsigned long long>(counts.nReplies), bMemoryOk ? "equal to the entry" : "DIFFERENT");
  std::printf("  mandated pauses: %s\n", velda::bench::DescribePauseSum(counts).c_str());
  if (opt.dLinkRttMs > 0) {
    std::printf("  link round trips: %llu x %.3f ms = %.0f ms\n", static_cast<unsigned long long>(counts.nReplies),
                opt.dLinkRttMs, static_cast<double>(counts.nReplies) * opt.dLinkRttMs);
  }
  const double dRatio = dWallMs / dMandated;
  std::printf("  real-time ratio: %.3f s / %.3f s = %.4f (goal <= %.2f: %s)\n", dWallMs / 1000, dMandated / 1000,
              dRatio, kGoalRatio, dRatio <= kGoalRatio ? "met" : "MISSED");
  return nExit == 0 && bMemoryOk;
}

// ---- Round trips ----

std::vector<unsigned char> Packet(std::size_t n) {
  std::vector<unsigned char> a(n, 0x11);
  a.front() = 0xF0;
  a.back() = 0xF7;
  return a;
}

// The peer: answers every SysEx with an 8-byte one, from its JACK thread. One for each side, so
// that neither hears the other's replies.
class CEcho {
 public:
  CEcho(velda::rtmidi::EMidiApi eApi, const std::string& strName, const std::string& strIn, const std::string& strOut)
      : m_in(velda::rtmidi::RtApiOf(eApi), strName),
        m_out(velda::rtmidi::RtApiOf(eApi), strName),
        m_aReply(Packet(kReply)) {
    m_in.ignoreTypes(false, true, true);
    m_in.setCallback(&CEcho::OnMessage, this);
    m_in.openVirtualPort(strIn);
    m_out.openVirtualPort(strOut);
  }

 private:
  static void OnMessage(double, std::vector<unsigned char>*, void* p) {
    auto* pThis = static_cast<CEcho*>(p);
    pThis->m_out.sendMessage(&pThis->m_aReply);
  }
  RtMidiIn m_in;
  RtMidiOut m_out;
  std::vector<unsigned char> m_aReply;
};

class CSignal {
 public:
  void Set() {
    {
      const std::lock_guard<std::mutex> lock(m_mx);
      m_bSet = true;
    }
    m_cv.notify_one();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_mx);
    const bool b = m_cv.wait_for(lock, std::chrono::seconds(5), [this] { return m_bSet; });
    m_bSet = false;
    return b;
  }

 private:
  std::mutex m_mx;
  std::condition_variable m_cv;
  bool m_bSet = false;
};

// Bare RtMidi: one output to the echo, one input from it.
class CBarePing {
 public:
  explicit CBarePing(velda::rtmidi::EMidiApi eApi)
      : m_in(velda::rtmidi::RtApiOf(eApi), "velda-bare"), m_out(velda::rtmidi::RtApiOf(eApi), "velda-bare") {
    m_in.ignoreTypes(false, true, true);
    m_in.setCallback(&CBarePing::OnMessage, this);
    m_in.openPort(Find(m_in, "echo-bare:echo-bare out"), "in");
    m_out.openPort(Find(m_out, "echo-bare:echo-bare in"), "out");
  }
  double RoundTripMs(const std::vector<unsigned char>& a) {
    const Clock::time_point t0 = Clock::now();
    m_out.sendMessage(&a);
    if (!m_got.Wait()) return -1;
    return Ms(Clock::now() - t0);
  }

 private:
  template <class T>
  static unsigned int Find(T& rt, const std::string& strName) {
    for (unsigned int i = 0; i < rt.getPortCount(); ++i) {
      if (rt.getPortName(i).rfind(strName, 0) == 0) return i;
    }
    return 0;
  }
  static void OnMessage(double, std::vector<unsigned char>*, void* p) { static_cast<CBarePing*>(p)->m_got.Set(); }
  RtMidiIn m_in;
  RtMidiOut m_out;
  CSignal m_got;
};

// Through the driver layer: a prepared output header and three queued input headers, given
// back from the callback as the port objects do.
class CDriverPing {
 public:
  bool Open(velda::rtmidi::EMidiApi eApi, const std::string& strIn, const std::string& strOut) {
    velda::rtmidi::CRtMidiOptions opt;
    opt.eApi = eApi;
    opt.strClientName = "velda-layered";
    opt.fnDeviceChange = [] {};
    std::string strError;
    m_pDriver = velda::rtmidi::CRtMidiDriver::Create(opt, strError);
    if (m_pDriver == nullptr) return false;
    int nIn = -1;
    for (velda::UINT i = 0; i < m_pDriver->InGetNumDevs(); ++i) {
      velda::MIDIINCAPS caps;
      m_pDriver->InGetDevCaps(i, &caps, sizeof caps);
      if (velda::PnameToString(caps.szPname).Str() == strIn) nIn = static_cast<int>(i);
    }
    int nOut = -1;
    for (velda::UINT i = 0; i < m_pDriver->OutGetNumDevs(); ++i) {
      velda::MIDIOUTCAPS caps;
      m_pDriver->OutGetDevCaps(i, &caps, sizeof caps);
      if (velda::PnameToString(caps.szPname).Str() == strOut) nOut = static_cast<int>(i);
    }
    if (nIn < 0 || nOut < 0) return false;
    if (m_pDriver->InOpen(&m_hIn, static_cast<velda::UINT>(nIn), reinterpret_cast<velda::DWORD_PTR>(&OnIn),
                          reinterpret_cast<velda::DWORD_PTR>(this), velda::CALLBACK_FUNCTION) != 0) {
      return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
      m_aHdr[i].lpData = m_aBuf[i];
      m_aHdr[i].dwBufferLength = sizeof m_aBuf[i];
      m_pDriver->InPrepareHeader(m_hIn, &m_aHdr[i], sizeof(velda::MIDIHDR));
      m_pDriver->InAddBuffer(m_hIn, &m_aHdr[i], sizeof(velda::MIDIHDR));
    }
    m_pDriver->InStart(m_hIn);
    if (m_pDriver->OutOpen(&m_hOut, static_cast<velda::UINT>(nOut), 0, 0, velda::CALLBACK_NULL) != 0) return false;
    m_out.lpData = m_aOut;
    m_out.dwBufferLength = sizeof m_aOut;
    return m_pDriver->OutPrepareHeader(m_hOut, &m_out, sizeof m_out) == 0;
  }
  void Close() {
    m_pDriver->InReset(m_hIn);
    m_pDriver->InClose(m_hIn);
    m_pDriver->OutClose(m_hOut);
    m_pDriver.reset();
  }
  double RoundTripMs(const std::vector<unsigned char>& a) {
    std::copy(a.begin(), a.end(), m_aOut);
    m_out.dwBufferLength = static_cast<velda::DWORD>(a.size());
    const Clock::time_point t0 = Clock::now();
    m_pDriver->OutLongMsg(m_hOut, &m_out, sizeof m_out);
    if (!m_got.Wait()) return -1;
    return Ms(Clock::now() - t0);
  }

 private:
  static void OnIn(velda::HMIDIIN h, velda::UINT wMsg, velda::DWORD_PTR dwInstance, velda::DWORD_PTR dwParam1,
                   velda::DWORD_PTR) {
    if (wMsg != velda::MIM_LONGDATA) return;
    auto* pThis = reinterpret_cast<CDriverPing*>(dwInstance);
    auto* pHdr = reinterpret_cast<velda::MIDIHDR*>(dwParam1);
    const bool bData = pHdr->dwBytesRecorded != 0;
    pThis->m_pDriver->InPrepareHeader(h, pHdr, sizeof(velda::MIDIHDR));
    pThis->m_pDriver->InAddBuffer(h, pHdr, sizeof(velda::MIDIHDR));
    if (bData) pThis->m_got.Set();
  }
  std::unique_ptr<velda::rtmidi::CRtMidiDriver> m_pDriver;
  velda::HMIDIIN m_hIn = nullptr;
  velda::HMIDIOUT m_hOut = nullptr;
  velda::MIDIHDR m_aHdr[3];
  char m_aBuf[3][1024] = {};
  velda::MIDIHDR m_out;
  char m_aOut[4096] = {};
  CSignal m_got;
};

// One line of round-trip times, after its label.
void PrintTimes(const char* pszLabel, const std::vector<double>& aMs) {
  if (aMs.empty()) {
    std::printf("  %s no round came back\n", pszLabel);
    return;
  }
  std::printf("  %s median %.3f ms (min %.3f, max %.3f)\n", pszLabel, Median(aMs),
              *std::min_element(aMs.begin(), aMs.end()), *std::max_element(aMs.begin(), aMs.end()));
}

// The backend's round trip to the echo behind the USB link.
bool RunLinkRoundTrips(const COptions& opt) {
  CDriverPing layered;
  if (!layered.Open(opt.eApi, opt.strPort, opt.strPort)) {
    std::printf("the driver's ports to %s cannot be opened\n", opt.strPort.c_str());
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<unsigned char> a = Packet(kPacket);
  std::vector<double> aMs;
  for (int i = 0; i < opt.nRounds; ++i) {
    const double d = layered.RoundTripMs(a);
    if (d >= 0) aMs.push_back(d);
  }
  layered.Close();
  if (aMs.empty()) {
    std::printf("no round trip over %s came back\n", opt.strPort.c_str());
    return false;
  }
  std::printf("Round trip of a %zu-byte packet and an %zu-byte reply over %s, %zu of %d rounds\n", kPacket, kReply,
              opt.strPort.c_str(), aMs.size(), opt.nRounds);
  PrintTimes("rtmidi backend:", aMs);
  return static_cast<int>(aMs.size()) == opt.nRounds;
}

bool RunRoundTrips(const COptions& opt) {
  if (!opt.strPort.empty()) return RunLinkRoundTrips(opt);
  CEcho echoBare(opt.eApi, "echo-bare", "echo-bare in", "echo-bare out");
  CEcho echoLayered(opt.eApi, "echo-layered", "echo-layered in", "echo-layered out");
  CBarePing bare(opt.eApi);
  CDriverPing layered;
  if (!layered.Open(opt.eApi, "echo-layered out", "echo-layered in")) {
    std::printf("the driver's ports to the echo cannot be opened\n");
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the new connections settle
  const std::vector<unsigned char> a = Packet(kPacket);
  std::vector<double> aBare;
  std::vector<double> aLayered;
  int nLost = 0;
  for (int i = 0; i < opt.nRounds; ++i) {
    const double dBare = bare.RoundTripMs(a);
    const double dLayered = layered.RoundTripMs(a);
    if (dBare < 0 || dLayered < 0) {
      ++nLost;
      continue;
    }
    aBare.push_back(dBare);
    aLayered.push_back(dLayered);
  }
  layered.Close();
  const double dBare = Median(aBare);
  const double dLayered = Median(aLayered);
  const double dOverhead = dBare > 0 ? dLayered / dBare - 1.0 : 0.0;
  std::printf("Round trip of a %zu-byte packet and an %zu-byte reply over JACK, %zu rounds, alternating\n", kPacket,
              kReply, aBare.size());
  PrintTimes("bare RtMidi:       ", aBare);
  PrintTimes("rtmidi backend:    ", aLayered);
  std::printf("  added by the layer: %+.1f %% (goal <= %.0f %%: %s)%s\n", dOverhead * 100, kGoalOverhead * 100,
              dOverhead <= kGoalOverhead ? "met" : "MISSED", nLost != 0 ? " -- some rounds lost" : "");
  return nLost == 0;
}

// --echo: a peer answering every SysEx until SIGTERM.
int RunEcho(const COptions& opt) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Named as velda-sim names its ports behind a gadget: it hears "from", it answers on "to".
  const CEcho echo(opt.eApi, "velda-bench-echo", "from " + opt.strEcho, "to " + opt.strEcho);
  int nSignal = 0;
  sigwait(&set, &nSignal);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  COptions opt;
  bool bRoundTrips = true;
  bool bInstall = true;
  for (int i = 1; i < argc; ++i) {
    const std::string strName = argv[i];
    if (strName == "--no-round-trips" || strName == "--no-installation") {
      (strName == "--no-round-trips" ? bRoundTrips : bInstall) = false;
      continue;
    }
    if (i + 1 >= argc) break;
    const std::string strValue = argv[++i];
    if (strName == "--midi-api")
      velda::rtmidi::ParseMidiApi(strValue, opt.eApi);
    else if (strName == "--sim-pid")
      opt.pidSim = static_cast<pid_t>(std::stol(strValue));
    else if (strName == "--port")
      opt.strPort = strValue;
    else if (strName == "--echo")
      opt.strEcho = strValue;
    else if (strName == "--link-rtt-ms")
      opt.dLinkRttMs = std::stod(strValue);
    else if (strName == "--installer")
      opt.strInstaller = strValue;
    else if (strName == "--sim")
      opt.strSim = strValue;
    else if (strName == "--work")
      opt.strWork = strValue;
    else if (strName == "--mib")
      opt.nMiB = static_cast<std::uint32_t>(std::stoul(strValue));
    else if (strName == "--rounds")
      opt.nRounds = std::stoi(strValue);
  }
  if (!opt.strEcho.empty()) return RunEcho(opt);
  bool bOk = !bRoundTrips || RunRoundTrips(opt);
  if (bInstall && !opt.strInstaller.empty() && (opt.pidSim >= 0 || !opt.strSim.empty()))
    bOk = RunInstallation(opt) && bOk;
  return bOk ? 0 : 1;
}
