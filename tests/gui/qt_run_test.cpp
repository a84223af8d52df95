// RunQtFrontEnd as the program calls it: it makes the QApplication, runs the installer on a
// thread of its own and returns when the installer has returned (0), or when the GUI ended first
// (1, the installer aborted). The user's answers come straight into the installer's loop here,
// since the test has no hold on the QApplication that the call makes.
#include <QtTest>

#include <QTemporaryDir>

#include <mutex>
#include <string>
#include <vector>

#include "fw/msgloop.h"
#include "gui/support/quiet_offscreen.h"
#include "shell/installer_app.h"
#include "shell/texts.h"
#include "ui/qt/run_qt.h"

namespace {

// Sits in front of the Qt front end, as the program's own chain of front ends does, and notes
// what the installer showed.
class CRecordingFrontEnd : public fw::CFrontEnd {
 public:
  explicit CRecordingFrontEnd(fw::CFrontEnd& next) : m_next(next) {}

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_aEvents;
  }

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override {
    Note("created " + std::to_string(tmpl.nId));
    m_next.OnWindowCreated(hWnd, tmpl);
  }
  void OnWindowShown(fw::HWND hWnd, bool bShow) override {
    Note(bShow ? "shown" : "hidden");
    m_next.OnWindowShown(hWnd, bShow);
  }
  void OnWindowDestroyed(fw::HWND hWnd) override {
    Note("destroyed");
    m_next.OnWindowDestroyed(hWnd);
  }
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override { m_next.OnWindowIcon(hWnd, nIconId, bBig); }
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override { m_next.OnControlChanged(hWnd, ctl); }
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override {
    Note("box " + strText.Str());
    m_next.ShowMessageBox(nBoxId, hOwner, strText, strCaption, uType);
  }
  void CloseMessageBox(int nBoxId, int nAnswer) override {
    Note("answer " + std::to_string(nAnswer));
    m_next.CloseMessageBox(nBoxId, nAnswer);
  }

 private:
  void Note(std::string str) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_aEvents.push_back(std::move(str));
  }

  fw::CFrontEnd& m_next;
  mutable std::mutex m_mx;
  std::vector<std::string> m_aEvents;
};

}  // namespace

class CRunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { velda::test::QuietOffscreenPlatform(); }

  void CancelledStartEndsTheRunAndTheApplication() {
    QTemporaryDir dir;
    fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
    velda::CInstallerApp app(loop);
    app.SetLockFolder(dir.path().toStdString());
    std::unique_ptr<CRecordingFrontEnd> pRecorder;

    velda::qt::CQtRunOptions opt;
    opt.fnBeforeInit = [&] {
      pRecorder = std::make_unique<CRecordingFrontEnd>(*loop.FrontEnd());
      loop.SetFrontEnd(pRecorder.get());
      // The user cancels the first question half a second after the start.
      loop.ScheduleAt(loop.Now() + 500, [&loop] { loop.PostInput(fw::CInputEvent::BoxAnswer(1, fw::IDCANCEL)); });
    };
    bool bAfter = false;
    opt.fnAfterInit = [&] { bAfter = true; };

    char szName[] = "velda-installer";
    char* aArgv[] = {szName, nullptr};
    QCOMPARE(velda::qt::RunQtFrontEnd(1, aArgv, app, loop, opt), 0);
    QVERIFY(bAfter);
    QVERIFY(QCoreApplication::instance() == nullptr);  // the call's QApplication is gone

    // One question, cancelled; the window shows briefly and goes by itself.
    const std::vector<std::string> want{
        "created 102", std::string("box ") + velda::TXT_QUESTION_1, "answer 2", "shown", "hidden", "destroyed"};
    QVERIFY(pRecorder != nullptr);
    const std::vector<std::string> got = pRecorder->Events();
    QCOMPARE(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) QCOMPARE(got[i], want[i]);
  }

  void GuiEndingFirstAbortsTheInstaller() {
    QTemporaryDir dir;
    fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
    velda::CInstallerApp app(loop);
    app.SetLockFolder(dir.path().toStdString());

    velda::qt::CQtRunOptions opt;
    // The desktop session ends while the first question waits for its answer.
    opt.fnBeforeInit = [] {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    };
    char szName[] = "velda-installer";
    char* aArgv[] = {szName, nullptr};
    QCOMPARE(velda::qt::RunQtFrontEnd(1, aArgv, app, loop, opt), 1);
    QVERIFY(loop.IsAborted());
    QVERIFY(app.Dialog() == nullptr);
  }

  void DisplayIsFoundFromTheEnvironment() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    const bool bNone = velda::qt::QtCanShowWindows();
    qputenv("DISPLAY", ":7");
    const bool bX11 = velda::qt::QtCanShowWindows();
    qunsetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool bOffscreen = velda::qt::QtCanShowWindows();
    // Back as it was.
    if (!display.isEmpty()) qputenv("DISPLAY", display);
    if (!wayland.isEmpty()) qputenv("WAYLAND_DISPLAY", wayland);
    if (!platform.isEmpty())
      qputenv("QT_QPA_PLATFORM", platform);
    else
      qunsetenv("QT_QPA_PLATFORM");
    QVERIFY(!bNone);
    QVERIFY(bX11);
    QVERIFY(bOffscreen);
  }
};

QTEST_APPLESS_MAIN(CRunTest)
#include "qt_run_test.moc"
