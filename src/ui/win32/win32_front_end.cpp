#include "ui/win32/win32_front_end.h"

#include <atomic>
#include <string>
#include <thread>

#include "fw/view.h"
#include "shell/installer_app.h"
// After the project's headers: it brings <windows.h>.
#include "ui/win32/win32_ui.h"

#include <commctrl.h>

namespace velda::win32 {

namespace {

// The view on the installer's thread: every call is handed to the UI thread as it comes, in order.
class CWin32FrontEnd : public fw::CFrontEnd {
 public:
  explicit CWin32FrontEnd(CWin32Ui& ui) : m_ui(ui) {}

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override {
    const int nId = tmpl.nId;
    m_ui.RunOnUiThread([this, hWnd, nId] { m_ui.CreateDialogFor(hWnd, nId); });
  }
  void OnWindowShown(fw::HWND hWnd, bool bShow) override {
    m_ui.RunOnUiThread([this, hWnd, bShow] { m_ui.ShowDialog(hWnd, bShow); });
  }
  void OnWindowDestroyed(fw::HWND hWnd) override {
    m_ui.RunOnUiThread([this, hWnd] { m_ui.DestroyDialog(hWnd); });
  }
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override {
    m_ui.RunOnUiThread([this, hWnd, nIconId, bBig] { m_ui.SetIcon(hWnd, nIconId, bBig); });
  }
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override {
    m_ui.RunOnUiThread([this, hWnd, ctl] { m_ui.ApplyControl(hWnd, ctl); });
  }
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      UINT uType) override {
    std::string sText = strText.GetString();
    std::string sCaption = strCaption.GetString();
    // A box that cannot reach the UI thread is answered Cancel, so that nobody waits for it.
    m_ui.RunOnUiThread(
        [this, nBoxId, hOwner, sText, sCaption, uType] { m_ui.RunMessageBox(nBoxId, hOwner, sText, sCaption, uType); },
        [this, nBoxId] { m_ui.AnswerUnshownBox(nBoxId); });
  }
  void CloseMessageBox(int nBoxId, int /*nAnswer*/) override {
    m_ui.RunOnUiThread([this, nBoxId] { m_ui.CloseBox(nBoxId); });
  }

 private:
  CWin32Ui& m_ui;
};

}  // namespace

int RunWin32FrontEnd(CInstallerApp& app, fw::CMsgLoop& loop, const CWin32RunOptions& opt) {
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);

  CWin32Ui ui(loop);
  if (!ui.Create()) return 1;
  CWin32FrontEnd view(ui);
  loop.SetFrontEnd(&view);

  std::atomic<bool> bFinished{false};
  std::thread installer([&] {
    if (opt.fnBeforeInit) opt.fnBeforeInit();
    app.InitInstance();
    if (opt.fnAfterInit) opt.fnAfterInit();
    bFinished.store(true);
    ui.Quit();
  });
  ui.Run();
  if (!bFinished.load()) {
    loop.Abort();  // the session ended under the installer
  }
  installer.join();
  loop.SetFrontEnd(nullptr);
  return bFinished.load() ? 0 : 1;
}

}  // namespace velda::win32
