// The framework's view class, from which the MIDI transport object derives; it never makes a
// window. Not to be confused with fw/view.h, the interface of a front end (CFrontEnd).
#pragma once

namespace fw {

class CView {
 public:
  virtual ~CView() = default;
  virtual void OnDraw() {}
};

}  // namespace fw
