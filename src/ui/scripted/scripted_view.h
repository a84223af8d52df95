// The front end of tests: records every call of the view in order and answers message boxes from
// a script, on the installer thread, in virtual time.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fw/msgloop.h"
#include "fw/view.h"

namespace velda {

struct CBoxRecord {
  int nBox = 0;
  std::string strText;
  std::string strCaption;
  fw::UINT uType = 0;
  int nAnswer = -1;  // -1 while open
  std::uint64_t nShownAt = 0;
  std::uint64_t nClosedAt = 0;
};

class CScriptedView : public fw::CFrontEnd {
 public:
  explicit CScriptedView(fw::CMsgLoop& loop) : m_loop(loop) {}

  // Boxes are answered in order from this script, each after its delay (virtual milliseconds).
  void QueueAnswer(int nAnswer, std::uint64_t nDelayMs = 0);
  // Boxes left without a scripted answer get this one (none: the box stays open for the test).
  void SetDefaultAnswer(std::optional<int> nAnswer);

  // What was shown, in order: "status <text>", "enable <id> <0|1>", "box <text>", "answer <n>",
  // "window <id> shown|hidden|destroyed", "progress <id> <lower> <upper> <pos>".
  std::vector<std::string> Events() const;
  std::vector<CBoxRecord> Boxes() const;
  std::vector<std::string> StatusHistory() const;
  // The box that is open now (its number), or 0.
  int OpenBox() const;

  // State of the main window (template 102) as last drawn.
  fw::HWND MainWindow() const;
  std::string Status() const;
  bool IsEnabled(int nId) const;
  fw::CProgressState Progress(int nId) const;
  bool IsMainShown() const;
  // The window of a dialog template that exists now, or 0.
  fw::HWND WindowOf(int nTemplateId) const;
  std::vector<std::string> ComboItems(fw::HWND hWnd, int nId) const;
  int ComboSel(fw::HWND hWnd, int nId) const;

  // fw::CFrontEnd
  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowShown(fw::HWND hWnd, bool bShow) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

 private:
  struct CWindowRecord {
    int nTemplate = 0;
    bool bShown = false;
    bool bAlive = true;
    std::map<int, fw::CControlState> controls;
  };
  void Record(std::string str);

  fw::CMsgLoop& m_loop;
  mutable std::mutex m_mx;
  std::deque<std::pair<int, std::uint64_t>> m_script;
  std::optional<int> m_nDefault;
  std::vector<std::string> m_events;
  std::vector<CBoxRecord> m_boxes;
  std::map<fw::HWND, CWindowRecord> m_windows;
};

}  // namespace velda
