// Scheduled events of in-process devices may come due after their owner is gone (a virtual loop
// keeps its queue; a device thread may be running one right now). A gate lets an event run only
// while its owner lives, and the owner's end waits for an event that is running.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace velda {

class CLifeGate {
 public:
  CLifeGate() : m_pState(std::make_shared<CState>()) {}
  ~CLifeGate() { Close(); }
  CLifeGate(const CLifeGate&) = delete;
  CLifeGate& operator=(const CLifeGate&) = delete;

  // From now on guarded events do nothing; waits for one that is running on another thread.
  void Close() {
    std::lock_guard<std::recursive_mutex> lock(m_pState->mx);
    m_pState->bOpen = false;
  }

  // fn, run only while the gate is open. An event may schedule and run further guarded events
  // on the same thread (virtual time runs them nested inside a sleep).
  std::function<void()> Guard(std::function<void()> fn) const { return GuardArgs(std::move(fn)); }

  template <class... TArgs>
  std::function<void(TArgs...)> GuardArgs(std::function<void(TArgs...)> fn) const {
    return [wpState = std::weak_ptr<CState>(m_pState), fn = std::move(fn)](TArgs... args) {
      const std::shared_ptr<CState> pState = wpState.lock();
      if (pState == nullptr) {
        return;
      }
      std::lock_guard<std::recursive_mutex> lock(pState->mx);
      if (pState->bOpen) {
        fn(std::forward<TArgs>(args)...);
      }
    };
  }

 private:
  struct CState {
    std::recursive_mutex mx;
    bool bOpen = true;
  };
  std::shared_ptr<CState> m_pState;
};

}  // namespace velda
