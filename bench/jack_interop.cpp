// Real MIDI over JACK, run by bench/run-jack-bench inside a JACK server of its own:
//  - the real-time ratio of an installation between two processes: velda-installer writing a
//    1 MiB entry into velda-sim (which answers at once and does not restart), the installer's
//    wall-clock time divided by the pauses the protocol mandates for that run (pause_budget.h);
//  - the round trip of a 2821-byte data packet answered by an 8-byte reply, through the rtmidi
//    backend of the driver layer, beside a bare RtMidi ping-pong of the same sizes against the
//    same echoing peer, alternating in the same run; medians.
#include <fcntl.h>
#include <rtmidi/RtMidi.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
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
  std::string strInstaller;
  std::string strSim;
  std::string strWork = "/tmp";
  std::uint32_t nMiB = 1;
  int nRounds = 300;
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

bool WaitForPorts(const std::string& strName) {
  RtMidiIn probe(RtMidi::UNIX_JACK, "velda-bench-probe");
  for (int i = 0; i < 400; ++i) {
    for (unsigned int n = 0; n < probe.getPortCount(); ++n) {
      if (probe.getPortName(n).find(strName) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
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
  const pid_t pidSim = Spawn({opt.strSim, "--midi-api", "jack", "--instrument", "restart=off", "--instrument",
                              "latency-ms=0", "--dump", strDump},
                             strDir + "/sim.txt");
  if (pidSim < 0 || !WaitForPorts("HALVEN USB IN 0-1")) {
    std::printf("velda-sim did not start\n");
    return false;
  }
  const std::string strTrace = strDir + "/trace.txt";
  const Clock::time_point t0 = Clock::now();
  const pid_t pid =
      Spawn({opt.strInstaller, "--yes", "--tui", "--midi-api", "jack", "--package", strPackage, "--trace", strTrace},
            strDir + "/installer.txt");
  const int nExit = pid < 0 ? -1 : WaitExit(pid);
  const double dWallMs = Ms(Clock::now() - t0);
  kill(pidSim, SIGTERM);
  WaitExit(pidSim);

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
  const double dMandated = static_cast<double>(velda::bench::MandatedPauseMs(counts));
  std::printf("Installation of %u MiB over JACK, velda-installer -> velda-sim\n", opt.nMiB);
  std::printf("  exit code %d, %llu requests, %llu replies, memory %s\n", nExit, static_cast<unsigned long long>(nSent),
              static_cast<unsigned long long>(counts.nReplies), bMemoryOk ? "equal to the entry" : "DIFFERENT");
  std::printf("  mandated pauses: %s\n", velda::bench::DescribePauseSum(counts).c_str());
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
  explicit CEcho(const std::string& strName)
      : m_in(RtMidi::UNIX_JACK, strName), m_out(RtMidi::UNIX_JACK, strName), m_aReply(Packet(kReply)) {
    m_in.ignoreTypes(false, true, true);
    m_in.setCallback(&CEcho::OnMessage, this);
    m_in.openVirtualPort(strName + " in");
    m_out.openVirtualPort(strName + " out");
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
  CBarePing() : m_in(RtMidi::UNIX_JACK, "velda-bare"), m_out(RtMidi::UNIX_JACK, "velda-bare") {
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
  bool Open() {
    velda::rtmidi::CRtMidiOptions opt;
    opt.eApi = velda::rtmidi::EMidiApi::Jack;
    opt.strClientName = "velda-layered";
    opt.fnDeviceChange = [] {};
    std::string strError;
    m_pDriver = velda::rtmidi::CRtMidiDriver::Create(opt, strError);
    if (m_pDriver == nullptr) return false;
    int nIn = -1;
    for (velda::UINT i = 0; i < m_pDriver->InGetNumDevs(); ++i) {
      velda::MIDIINCAPS caps;
      m_pDriver->InGetDevCaps(i, &caps, sizeof caps);
      if (velda::PnameToString(caps.szPname).Str() == "echo-layered out") nIn = static_cast<int>(i);
    }
    int nOut = -1;
    for (velda::UINT i = 0; i < m_pDriver->OutGetNumDevs(); ++i) {
      velda::MIDIOUTCAPS caps;
      m_pDriver->OutGetDevCaps(i, &caps, sizeof caps);
      if (velda::PnameToString(caps.szPname).Str() == "echo-layered in") nOut = static_cast<int>(i);
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

bool RunRoundTrips(const COptions& opt) {
  CEcho echoBare("echo-bare");
  CEcho echoLayered("echo-layered");
  CBarePing bare;
  CDriverPing layered;
  if (!layered.Open()) {
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
  std::printf("  bare RtMidi:        median %.3f ms (min %.3f, max %.3f)\n", dBare,
              *std::min_element(aBare.begin(), aBare.end()), *std::max_element(aBare.begin(), aBare.end()));
  std::printf("  rtmidi backend:     median %.3f ms (min %.3f, max %.3f)\n", dLayered,
              *std::min_element(aLayered.begin(), aLayered.end()), *std::max_element(aLayered.begin(), aLayered.end()));
  std::printf("  added by the layer: %+.1f %% (goal <= %.0f %%: %s)%s\n", dOverhead * 100, kGoalOverhead * 100,
              dOverhead <= kGoalOverhead ? "met" : "MISSED", nLost != 0 ? " -- some rounds lost" : "");
  return nLost == 0;
}

}  // namespace

int main(int argc, char** argv) {
  COptions opt;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string strName = argv[i];
    const std::string strValue = argv[i + 1];
    if (strName == "--installer")
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
  bool bOk = RunRoundTrips(opt);
  if (!opt.strInstaller.empty() && !opt.strSim.empty()) bOk = RunInstallation(opt) && bOk;
  return bOk ? 0 : 1;
}
