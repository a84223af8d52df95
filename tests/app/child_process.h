// velda-installer as a child process for the tests of tests/app: its own folder (the current
// directory; a --virtual run's lock is named after its package's folder), a private runtime
// folder, a pipe for its input, files for its output,
// and a time limit after which it is killed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velda::test {

class CChildProcess {
 public:
  // Starts the program in strDir with XDG_RUNTIME_DIR set to lockDir.
  CChildProcess(const std::string& strExe, const std::vector<std::string>& aArgs, const std::filesystem::path& dir,
                const std::filesystem::path& lockDir, const std::string& strName = "run")
      : m_out(dir / (strName + ".out")), m_err(dir / (strName + ".err")) {
    int aIn[2] = {-1, -1};
    if (::pipe(aIn) != 0) return;
    std::vector<std::string> aEnv;
    for (char** p = environ; *p != nullptr; ++p) {
      const std::string s = *p;
      if (s.rfind("XDG_RUNTIME_DIR=", 0) == 0 || s.rfind("DISPLAY=", 0) == 0 || s.rfind("WAYLAND_DISPLAY=", 0) == 0) {
        continue;
      }
      aEnv.push_back(s);
    }
    aEnv.push_back("XDG_RUNTIME_DIR=" + lockDir.string());
    std::vector<std::string> aArgv{strExe};
    aArgv.insert(aArgv.end(), aArgs.begin(), aArgs.end());
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<char*> argv;
    argv.reserve(aArgv.size() + 1);
    for (std::string& s : aArgv) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(aEnv.size() + 1);
    for (std::string& s : aEnv) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string strDir = dir.string();
    const std::string strOut = m_out.string();
    const std::string strErr = m_err.string();
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(aIn[0], 0);
      const int fdOut = ::open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int fdErr = ::open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fdOut, 1);
      ::dup2(fdErr, 2);
      ::close(aIn[0]);
      ::close(aIn[1]);
      if (::chdir(strDir.c_str()) != 0) ::_exit(127);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(aIn[0]);
    m_fdIn = aIn[1];
  }
  ~CChildProcess() {
    CloseInput();
    if (m_pid > 0 && m_nExit == kRunning) {
      ::kill(m_pid, SIGKILL);
      int nStatus = 0;
      ::waitpid(m_pid, &nStatus, 0);
    }
  }
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }

  void Type(const std::string& strText) {
    if (m_fdIn >= 0) {
      [[maybe_unused]] const ssize_t n = ::write(m_fdIn, strText.data(), strText.size());
    }
  }
  void CloseInput() {
    if (m_fdIn >= 0) ::close(m_fdIn);
    m_fdIn = -1;
  }
  void Signal(int nSignal) const {
    if (m_pid > 0 && m_nExit == kRunning) ::kill(m_pid, nSignal);
  }

  // The exit code, or -1 when it had to be killed after nLimitMs (or died of a signal).
  int Wait(int nLimitMs = 60'000) {
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nLimitMs);
    while (m_nExit == kRunning) {
      int nStatus = 0;
      const pid_t r = ::waitpid(m_pid, &nStatus, WNOHANG);
      if (r == m_pid) {
        m_nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() > tEnd) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &nStatus, 0);
        m_nExit = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_nExit;
  }

  // Waits until the output holds strText; false when the limit passed first.
  bool WaitForOutput(const std::string& strText, int nLimitMs = 30'000) const {
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nLimitMs);
    while (Out().find(strText) == std::string::npos) {
      if (std::chrono::steady_clock::now() > tEnd) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::string Out() const { return ReadAll(m_out); }
  std::string Err() const { return ReadAll(m_err); }
  std::vector<std::string> OutLines() const {
    std::vector<std::string> a;
    std::istringstream in(Out());
    for (std::string s; std::getline(in, s);) a.push_back(s);
    return a;
  }

 private:
  static constexpr int kRunning = -2;
  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::filesystem::path m_out;
  std::filesystem::path m_err;
  pid_t m_pid = -1;
  int m_fdIn = -1;
  int m_nExit = kRunning;
};

}  // namespace velda::test
