// The view on Qt 6 Widgets. The installer's thread calls the fw::CFrontEnd methods; each call is
// queued, in order, to the thread that made this object (Qt's GUI thread), which draws it. What
// the user does there goes back to the installer through CMsgLoop::PostInput. So the windows
// keep repainting while the installer's thread sleeps, and the installer sees input in the order
// its loop's rules give it.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <map>

#include "fw/msgloop.h"
#include "fw/view.h"
#include "ui/qt/dialog_widget.h"

namespace velda::qt {

class CQtFrontEnd : public fw::CFrontEnd {
 public:
  // Made on the GUI thread, after the QApplication.
  explicit CQtFrontEnd(fw::CMsgLoop& loop);
  // GUI thread, once the installer's thread no longer calls: closes what is still open.
  ~CQtFrontEnd() override;
  CQtFrontEnd(const CQtFrontEnd&) = delete;
  CQtFrontEnd& operator=(const CQtFrontEnd&) = delete;

  // ---- fw::CFrontEnd: installer thread (or any one thread at a time), queued to the GUI.
  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowShown(fw::HWND hWnd, bool bShow) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

  // ---- GUI thread: what is shown now.
  CDialogWidget* Window(fw::HWND hWnd) const;
  // The live window made from that template (the newest when there are several), or null.
  CDialogWidget* WindowOf(int nTemplateId) const;
  // The newest message box still waiting for its answer, or null.
  QMessageBox* OpenBox() const;
  // The GUI thread's object that queued calls run on.
  QObject* Context() { return &m_context; }

 private:
  void Queue(std::function<void()> fn);
  void MakeWindow(fw::HWND hWnd, const fw::CDialogTemplate& tmpl);
  void DropWindow(fw::HWND hWnd);
  void OpenBoxNow(int nBoxId, fw::HWND hOwner, const QString& strText, const QString& strCaption, fw::UINT uType);
  void CloseBoxNow(int nBoxId);
  // The first window still alive: the main window, which owns the others and the boxes.
  CDialogWidget* FirstWindow() const;

  fw::CMsgLoop& m_loop;
  QObject m_context;  // queued calls run on its thread and are dropped once it is gone
  std::map<fw::HWND, QPointer<CDialogWidget>> m_windows;
  struct CBox {
    QPointer<QMessageBox> pBox;
    bool bAnswered = false;
  };
  std::map<int, CBox> m_boxes;
};

}  // namespace velda::qt
