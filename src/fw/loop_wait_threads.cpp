// Waits on systems with threads: the installer's thread simply blocks.
#include <thread>

#include "fw/loop_wait.h"

namespace fw {

void SleepThread(UINT nMs) { std::this_thread::sleep_for(std::chrono::milliseconds(nMs)); }

void WaitForWork(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (deadline) {
    cv.wait_until(lock, *deadline);
  } else {
    cv.wait(lock);
  }
}

}  // namespace fw
