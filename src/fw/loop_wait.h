// How the installer's thread waits in real time. With threads it blocks; in a browser, which has
// one thread for the page and the installer, each wait hands the thread back to the page for a
// moment, so that the page keeps drawing and its events (clicks, MIDI input, timers) keep coming.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "fw/types.h"

namespace fw {

// Blocks the calling thread for nMs milliseconds.
void SleepThread(UINT nMs);

// Waits until cv is notified or the deadline passes (none: no limit). lock holds cv's mutex. It may
// return early: the caller looks again at what it waits for.
void WaitForWork(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace fw
