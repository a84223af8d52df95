// The Qt front end against the framework's windows, offscreen: a real-clock message loop runs on
// an installer thread of its own, as in the program, with dialogs from templates 102 and 129; the
// test clicks, presses keys and answers boxes on the GUI thread and checks what the installer's
// side receives and what the windows show.
#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "gui/support/quiet_offscreen.h"
#include "midi/port_select_dlg.h"
#include "shell/installer_template.h"
#include "shell/steps.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/qt_front_end.h"

namespace {

constexpr int kWaitMs = 5000;

// A dialog that records every command it receives and can run code when it initialises.
class CProbeDlg : public fw::CDialog {
 public:
  explicit CProbeDlg(const fw::CDialogTemplate& tmpl, std::function<void(CProbeDlg&)> fnInit = {})
      : fw::CDialog(tmpl), m_fnInit(std::move(fnInit)) {}

  fw::BOOL OnInitDialog() override {
    fw::CDialog::OnInitDialog();
    if (m_tmpl.nId == IDD_INSTALLER) {
      SetIcon(IDR_MAINFRAME, true);
      SetIcon(IDR_MAINFRAME, false);
    }
    if (m_fnInit) m_fnInit(*this);
    return fw::FALSE;
  }

  std::vector<fw::WPARAM> Commands() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_aCommands;
  }

 protected:
  fw::BOOL OnCommand(fw::WPARAM wParam, fw::LPARAM lParam) override {
    {
      std::lock_guard<std::mutex> lock(m_mx);
      m_aCommands.push_back(wParam);
    }
    return fw::CDialog::OnCommand(wParam, lParam);
  }

 private:
  std::function<void(CProbeDlg&)> m_fnInit;
  mutable std::mutex m_mx;
  std::vector<fw::WPARAM> m_aCommands;
};

// The installer's side: a real-clock loop on a thread of its own, showing through the Qt front end.
// Whatever the installer thread uses is declared before the harness, or owned by it, so that the
// thread has ended before it goes.
class CHarness {
 public:
  CHarness() { m_loop.SetFrontEnd(&m_fe); }
  ~CHarness() {
    m_loop.Abort();
    if (m_thread.joinable()) m_thread.join();
    m_loop.SetFrontEnd(nullptr);
  }
  CHarness(const CHarness&) = delete;
  CHarness& operator=(const CHarness&) = delete;

  velda::qt::CQtFrontEnd& FrontEnd() { return m_fe; }
  fw::CMsgLoop& Loop() { return m_loop; }

  // A dialog for the installer thread; the harness keeps it until that thread has ended.
  CProbeDlg& Dialog(const fw::CDialogTemplate& tmpl, std::function<void(CProbeDlg&)> fnInit = {}) {
    m_aDialogs.push_back(std::make_unique<CProbeDlg>(tmpl, std::move(fnInit)));
    return *m_aDialogs.back();
  }

  // Runs the dialog modally on the installer thread; Result() is its DoModal result once it ended.
  void RunModal(CProbeDlg& dlg) {
    m_thread = std::thread([this, &dlg] {
      m_loop.MakeCurrent();
      m_nResult.store(dlg.DoModal());
      m_bEnded.store(true);
    });
  }
  bool Ended() const { return m_bEnded.load(); }
  int Result() const { return m_nResult.load(); }

  // Runs fn on the installer thread as soon as its loop is free.
  void OnInstaller(std::function<void()> fn) { m_loop.ScheduleAt(m_loop.Now(), std::move(fn)); }

 private:
  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Real};
  velda::qt::CQtFrontEnd m_fe{m_loop};
  std::vector<std::unique_ptr<CProbeDlg>> m_aDialogs;
  std::atomic<int> m_nResult{-100};
  std::atomic<bool> m_bEnded{false};
  std::thread m_thread;
};

// Whether anything darker than the background is drawn in the rectangle: text, for instance.
bool HasInk(const QImage& img, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (qGray(img.pixel(x, y)) < 100) return true;
    }
  }
  return false;
}

QRect Pixels(const velda::qt::CDialogWidget& wnd, int x, int y, int cx, int cy) {
  const velda::qt::CPixelRect r = velda::qt::DialogToPixels(x, y, cx, cy, wnd.BaseUnits());
  return QRect(r.x, r.y, r.cx, r.cy);
}

template <typename T>
T* ControlOf(velda::qt::CDialogWidget* pWnd, int nId) {
  return pWnd == nullptr ? nullptr : qobject_cast<T*>(pWnd->Control(nId));
}

}  // namespace

class CWindowsTest : public QObject {
  Q_OBJECT

 private:
  // Waits until the main window of template 102 is on the screen.
  static velda::qt::CDialogWidget* WaitForWindow(CHarness& h, int nTemplate) {
    static_cast<void>(QTest::qWaitFor(
        [&] {
          auto* p = h.FrontEnd().WindowOf(nTemplate);
          return p != nullptr && p->isVisible();
        },
        kWaitMs));
    return h.FrontEnd().WindowOf(nTemplate);
  }

 private slots:
  void initTestCase() { velda::test::QuietOffscreenPlatform(); }

  void MainWindowIsLaidOutFromTemplate102() {
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);

    QCOMPARE(pWnd->windowTitle(), QStringLiteral("VELDA Installer Ver. 1.10"));
    QVERIFY(pWnd->BaseUnits().cx > 0 && pWnd->BaseUnits().cy > 0);
    QCOMPARE(QRect(QPoint(0, 0), pWnd->size()), Pixels(*pWnd, 0, 0, 230, 69));
    // A fixed frame, a title bar with the close box, its own task-bar entry.
    QCOMPARE(pWnd->minimumSize(), pWnd->maximumSize());
    QVERIFY(pWnd->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(pWnd->windowFlags().testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(pWnd->isWindow());
    QVERIFY(pWnd->parentWidget() == nullptr);

    auto* pAll = ControlOf<QProgressBar>(pWnd, IDC_PROGRESS_ALL);
    auto* pData = ControlOf<QProgressBar>(pWnd, IDC_PROGRESS_DATA);
    auto* pPort = ControlOf<QPushButton>(pWnd, IDC_MIDI_PORT);
    auto* pClose = ControlOf<QPushButton>(pWnd, fw::IDOK);
    auto* pCancel = ControlOf<QPushButton>(pWnd, fw::IDCANCEL);
    auto* pStatus = ControlOf<QLineEdit>(pWnd, IDC_STATUS);
    QVERIFY(pAll && pData && pPort && pClose && pCancel && pStatus);

    QCOMPARE(pAll->geometry(), Pixels(*pWnd, 52, 8, 158, 14));
    QCOMPARE(pData->geometry(), Pixels(*pWnd, 52, 24, 158, 14));
    QCOMPARE(pPort->geometry(), Pixels(*pWnd, 105, 49, 59, 14));
    QCOMPARE(pClose->geometry(), Pixels(*pWnd, 170, 49, 48, 14));
    QCOMPARE(pCancel->geometry(), pClose->geometry());
    QCOMPARE(pStatus->geometry(), Pixels(*pWnd, 13, 50, 90, 12));
    QVERIFY(!pAll->isTextVisible());

    QCOMPARE(pPort->text(), QStringLiteral("MIDI Port"));
    QCOMPARE(pClose->text(), QStringLiteral("Close"));
    QCOMPARE(pCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(!pPort->isEnabled());
    QVERIFY(!pClose->isEnabled());
    QVERIFY(pClose->isVisible());
    QVERIFY(pCancel->isHidden());  // hidden, yet enabled: Esc and the close box use it
    QVERIFY(pCancel->isEnabled());
    QVERIFY(pStatus->isReadOnly());
    QVERIFY(!pStatus->hasFrame());
    QVERIFY(pStatus->text().isEmpty());

    const std::vector<std::pair<QString, QRect>> aLabels{{QStringLiteral("All"), Pixels(*pWnd, 12, 12, 32, 8)},
                                                         {QStringLiteral("Data"), Pixels(*pWnd, 12, 28, 20, 8)},
                                                         {QStringLiteral("0"), Pixels(*pWnd, 52, 38, 10, 8)},
                                                         {QStringLiteral("100%"), Pixels(*pWnd, 202, 38, 22, 8)}};
    QCOMPARE(pWnd->Labels().size(), aLabels.size());
    for (std::size_t i = 0; i < aLabels.size(); ++i) {
      QCOMPARE(pWnd->Labels()[i]->text(), aLabels[i].first);
      QCOMPARE(pWnd->Labels()[i]->geometry(), aLabels[i].second);
      QVERIFY(pWnd->Labels()[i]->isVisible());
    }
    // Every label's text fits its box in the font used.
    for (QLabel* pLabel : pWnd->Labels()) {
      QVERIFY2(pLabel->fontMetrics().horizontalAdvance(pLabel->text()) <= pLabel->width(), qPrintable(pLabel->text()));
    }
    QVERIFY(pPort->fontMetrics().horizontalAdvance(pPort->text()) < pPort->width());

    // The window icon is the application's icon, resource 128.
    QTRY_VERIFY_WITH_TIMEOUT(!pWnd->windowIcon().isNull(), kWaitMs);
    QCOMPARE(pWnd->windowIcon().pixmap(32, 32).toImage(), velda::qt::ApplicationIcon().pixmap(32, 32).toImage());
  }

  void ControlStateChangesAreDrawn() {
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    auto* pAll = ControlOf<QProgressBar>(pWnd, IDC_PROGRESS_ALL);
    auto* pData = ControlOf<QProgressBar>(pWnd, IDC_PROGRESS_DATA);
    auto* pPort = ControlOf<QPushButton>(pWnd, IDC_MIDI_PORT);
    auto* pClose = ControlOf<QPushButton>(pWnd, fw::IDOK);
    auto* pStatus = ControlOf<QLineEdit>(pWnd, IDC_STATUS);

    h.OnInstaller([&dlg] {
      dlg.SetDlgItemText(IDC_STATUS, "Data UpLoad.");
      dlg.EnableDlgItem(IDC_MIDI_PORT, true);
      dlg.EnableDlgItem(fw::IDOK, true);
      // The All bar: 1 .. 300, at 150. The Data bar: 0 .. 6001, three packets of 2450: clamped.
      dlg.SendDlgItemMessage(IDC_PROGRESS_ALL, fw::PBM_SETRANGE, 0, fw::MAKELPARAM(1, 300));
      dlg.SendDlgItemMessage(IDC_PROGRESS_ALL, fw::PBM_SETPOS, 150, 0);
      dlg.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETRANGE32, 0, 6001);
      for (int i = 0; i < 3; ++i) dlg.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_DELTAPOS, 2450, 0);
    });
    QTRY_COMPARE_WITH_TIMEOUT(pData->value(), 6001, kWaitMs);
    QCOMPARE(pStatus->text(), QStringLiteral("Data UpLoad."));
    QVERIFY(pPort->isEnabled());
    QVERIFY(pClose->isEnabled());
    QCOMPARE(pAll->minimum(), 1);
    QCOMPARE(pAll->maximum(), 300);
    QCOMPARE(pAll->value(), 150);
    QCOMPARE(pData->maximum(), 6001);

    // An empty script's range (1 .. 0) shows an empty bar, not the busy animation.
    h.OnInstaller([&dlg] {
      dlg.SendDlgItemMessage(IDC_PROGRESS_ALL, fw::PBM_SETRANGE, 0, fw::MAKELPARAM(1, 0));
      dlg.EnableDlgItem(IDC_MIDI_PORT, false);
    });
    QTRY_VERIFY_WITH_TIMEOUT(!pPort->isEnabled(), kWaitMs);
    QVERIFY(pAll->maximum() > pAll->minimum());
    QCOMPARE(pAll->value(), pAll->minimum());

    // A status text wider than the box shows its beginning.
    h.OnInstaller([&dlg] {
      dlg.SetDlgItemText(IDC_STATUS, "Block Check SUM OK. and a great deal more text than fits in the box");
    });
    QTRY_VERIFY_WITH_TIMEOUT(pStatus->text().startsWith(QStringLiteral("Block Check SUM OK.")), kWaitMs);
    QCOMPARE(pStatus->cursorPosition(), 0);
  }

  void EscAndTheCloseBoxGiveCancelInEveryState_data() {
    QTest::addColumn<bool>("bButtonsEnabled");
    QTest::addColumn<bool>("bEsc");
    QTest::newRow("running, close box") << false << false;
    QTest::newRow("running, Esc") << false << true;
    QTest::newRow("timed out, close box") << true << false;
    QTest::newRow("timed out, Esc") << true << true;
  }

  void EscAndTheCloseBoxGiveCancelInEveryState() {
    QFETCH(bool, bButtonsEnabled);
    QFETCH(bool, bEsc);
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate(), [bButtonsEnabled](CProbeDlg& d) {
      d.EnableDlgItem(IDC_MIDI_PORT, bButtonsEnabled);
      d.EnableDlgItem(fw::IDOK, bButtonsEnabled);
    });
    h.RunModal(dlg);
    QPointer<velda::qt::CDialogWidget> pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(ControlOf<QPushButton>(pWnd, fw::IDOK)->isEnabled(), bButtonsEnabled, kWaitMs);
    if (bEsc) {
      // Pressed while the status box has the focus, Esc still reaches the window.
      QTest::keyClick(ControlOf<QLineEdit>(pWnd, IDC_STATUS), Qt::Key_Escape);
    } else {
      QVERIFY(!pWnd->close());  // the close box asks; the window stays until the installer ends it
    }
    QTRY_VERIFY_WITH_TIMEOUT(h.Ended(), kWaitMs);
    QCOMPARE(h.Result(), fw::IDCANCEL);
    QCOMPARE(dlg.Commands(), std::vector<fw::WPARAM>{static_cast<fw::WPARAM>(fw::IDCANCEL)});
    // The installer destroyed the window: it is gone from the screen too.
    QTRY_VERIFY_WITH_TIMEOUT(pWnd == nullptr, kWaitMs);
    QVERIFY(h.FrontEnd().WindowOf(IDD_INSTALLER) == nullptr);
  }

  void ButtonsReachTheInstallerOnlyWhenEnabled() {
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    auto* pPort = ControlOf<QPushButton>(pWnd, IDC_MIDI_PORT);
    auto* pClose = ControlOf<QPushButton>(pWnd, fw::IDOK);
    auto* pStatus = ControlOf<QLineEdit>(pWnd, IDC_STATUS);

    // Disabled: neither a click nor Enter (which means Close here) does anything.
    QTest::mouseClick(pPort, Qt::LeftButton);
    QTest::mouseClick(pClose, Qt::LeftButton);
    QTest::keyClick(pStatus, Qt::Key_Return);
    h.OnInstaller([&dlg] {
      dlg.EnableDlgItem(IDC_MIDI_PORT, true);
      dlg.EnableDlgItem(fw::IDOK, true);
    });
    QTRY_VERIFY_WITH_TIMEOUT(pPort->isEnabled() && pClose->isEnabled(), kWaitMs);
    QTest::mouseClick(pPort, Qt::LeftButton);
    const std::vector<fw::WPARAM> aPort{static_cast<fw::WPARAM>(IDC_MIDI_PORT)};
    QTRY_COMPARE_WITH_TIMEOUT(dlg.Commands(), aPort, kWaitMs);
    QVERIFY(!h.Ended());

    // Enter in the status box presses Close, the dialog's OK.
    pStatus->setFocus();
    QTest::keyClick(pStatus, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(h.Ended(), kWaitMs);
    QCOMPARE(h.Result(), fw::IDOK);
    const std::vector<fw::WPARAM> aBoth{static_cast<fw::WPARAM>(IDC_MIDI_PORT), static_cast<fw::WPARAM>(fw::IDOK)};
    QCOMPARE(dlg.Commands(), aBoth);
  }

  void MessageBoxesLookAndAnswerAsAsked_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("uType");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("nAnswer");
    QTest::addColumn<int>("eIcon");
    QTest::addColumn<QString>("shownText");
    const QByteArray q4("Click OK to start VELDA installation.");
    const uint uQuestion = fw::MB_OKCANCEL | fw::MB_ICONINFORMATION;
    const uint uTimeOut = fw::MB_OK | fw::MB_ICONEXCLAMATION;
    QTest::newRow("question, OK") << q4 << uQuestion << "ok" << fw::IDOK << int(QMessageBox::Information)
                                  << QString::fromLatin1(q4);
    QTest::newRow("question, Cancel") << q4 << uQuestion << "cancel" << fw::IDCANCEL << int(QMessageBox::Information)
                                      << QString::fromLatin1(q4);
    QTest::newRow("question, Esc") << q4 << uQuestion << "esc" << fw::IDCANCEL << int(QMessageBox::Information)
                                   << QString::fromLatin1(q4);
    QTest::newRow("question, close box") << q4 << uQuestion << "close" << fw::IDCANCEL << int(QMessageBox::Information)
                                         << QString::fromLatin1(q4);
    QTest::newRow("time-out, OK") << QByteArray(" \r\n Time Out   \r\n") << uTimeOut << "ok" << fw::IDOK
                                  << int(QMessageBox::Warning) << QStringLiteral(" \n Time Out   \n");
    QTest::newRow("time-out, Esc") << QByteArray(" \r\n Time Out   \r\n") << uTimeOut << "esc" << fw::IDOK
                                   << int(QMessageBox::Warning) << QStringLiteral(" \n Time Out   \n");
    QTest::newRow("refusal, close box") << QByteArray("I have a Error. \r\n Close Install Jub.")
                                        << uint(fw::MB_OK | fw::MB_ICONSTOP) << "close" << fw::IDOK
                                        << int(QMessageBox::Critical)
                                        << QStringLiteral("I have a Error. \n Close Install Jub.");
    QTest::newRow("completion, OK")
        << QByteArray("Installation is completed.\r\nPlease turn the power switch of the instrument off.")
        << uint(fw::MB_OK | fw::MB_ICONINFORMATION) << "ok" << fw::IDOK << int(QMessageBox::Information)
        << QStringLiteral("Installation is completed.\nPlease turn the power switch of the instrument off.");
  }

  void MessageBoxesLookAndAnswerAsAsked() {
    QFETCH(QByteArray, text);
    QFETCH(uint, uType);
    QFETCH(QString, action);
    QFETCH(int, nAnswer);
    QFETCH(int, eIcon);
    QFETCH(QString, shownText);
    std::atomic<int> nGot{-100};
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);

    const std::string strText = text.toStdString();
    h.OnInstaller(
        [&dlg, &nGot, strText, uType] { nGot.store(dlg.MessageBox(strText.c_str(), "VELDA Installer", uType)); });
    QTRY_VERIFY_WITH_TIMEOUT(h.FrontEnd().OpenBox() != nullptr, kWaitMs);
    QPointer<QMessageBox> pBox = h.FrontEnd().OpenBox();
    QTRY_VERIFY_WITH_TIMEOUT(pBox->isVisible(), kWaitMs);
    QCOMPARE(QApplication::activeModalWidget(), pBox.data());
    QCOMPARE(pBox->windowTitle(), QStringLiteral("VELDA Installer"));
    QCOMPARE(pBox->text(), shownText);
    QCOMPARE(int(pBox->icon()), eIcon);
    const bool bOkCancel = (uType & fw::MB_TYPEMASK) == fw::MB_OKCANCEL;
    QCOMPARE(pBox->standardButtons(), bOkCancel ? QMessageBox::StandardButtons(QMessageBox::Ok | QMessageBox::Cancel)
                                                : QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(pBox->defaultButton(), pBox->button(QMessageBox::Ok));
    QCOMPARE(pBox->parentWidget(), pWnd);  // over the main window
    QCOMPARE(pBox->windowModality(), Qt::WindowModal);
    // While the box is up, the installer waits for it.
    QCOMPARE(nGot.load(), -100);

    if (action == QLatin1String("ok")) {
      QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
    } else if (action == QLatin1String("cancel")) {
      QTest::mouseClick(pBox->button(QMessageBox::Cancel), Qt::LeftButton);
    } else if (action == QLatin1String("esc")) {
      QTest::keyClick(pBox, Qt::Key_Escape);
    } else {
      pBox->close();
    }
    QTRY_COMPARE_WITH_TIMEOUT(nGot.load(), nAnswer, kWaitMs);
    // Answered, the box goes.
    QTRY_VERIFY_WITH_TIMEOUT(pBox == nullptr, kWaitMs);
    QVERIFY(h.FrontEnd().OpenBox() == nullptr);
    QVERIFY(!h.Ended());
  }

  void QuestionsShowBeforeTheMainWindow() {
    std::atomic<int> nGot{-100};
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate(), [&nGot](CProbeDlg& d) {
      nGot.store(d.MessageBox("Make sure the instrument and \r\ncomputer are properly \r\nconnected via USB cable.",
                              "VELDA Installer", fw::MB_OKCANCEL | fw::MB_ICONINFORMATION));
    });
    h.RunModal(dlg);
    QTRY_VERIFY_WITH_TIMEOUT(h.FrontEnd().OpenBox() != nullptr && h.FrontEnd().OpenBox()->isVisible(), kWaitMs);
    QMessageBox* pBox = h.FrontEnd().OpenBox();
    QCOMPARE(QApplication::activeModalWidget(), pBox);
    QCOMPARE(pBox->text(),
             QStringLiteral("Make sure the instrument and \ncomputer are properly \nconnected via USB cable."));
    // The main window exists but is not shown yet.
    velda::qt::CDialogWidget* pWnd = h.FrontEnd().WindowOf(IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    QVERIFY(!pWnd->isVisible());
    // With no window on the screen yet, the box stands on its own and blocks the application.
    QVERIFY(pBox->parentWidget() == nullptr);
    QCOMPARE(pBox->windowModality(), Qt::ApplicationModal);
    QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(pWnd->isVisible(), kWaitMs);
    QCOMPARE(nGot.load(), fw::IDOK);
  }

  void BoxEndedByTheInstallerGoesWithoutAnAnswer() {
    std::atomic<int> nGot{-100};
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    QVERIFY(WaitForWindow(h, IDD_INSTALLER) != nullptr);
    h.OnInstaller([&dlg, &nGot] { nGot.store(dlg.MessageBox(" Script Error ", "VELDA Installer", fw::MB_OK)); });
    QTRY_VERIFY_WITH_TIMEOUT(h.FrontEnd().OpenBox() != nullptr, kWaitMs);
    QPointer<QMessageBox> pBox = h.FrontEnd().OpenBox();
    QCOMPARE(pBox->icon(), QMessageBox::NoIcon);  // no icon bits: none drawn
    // The run is aborted (the program is ending): the box is closed for the user.
    h.Loop().Abort();
    QTRY_VERIFY_WITH_TIMEOUT(h.Ended(), kWaitMs);
    QCOMPARE(nGot.load(), fw::IDCANCEL);
    QTRY_VERIFY_WITH_TIMEOUT(pBox == nullptr, kWaitMs);
  }

  void PortDialogIsLaidOutFromTemplate129() {
    std::atomic<int> nPort{-100};
    CHarness h;
    CProbeDlg& main = h.Dialog(velda::InstallerTemplate());
    CProbeDlg& port = h.Dialog(velda::PortSelectTemplate(), [](CProbeDlg& d) {
      d.AddComboString(IDC_DEVICE, "MIDI");
      d.AddComboString(IDC_DEVICE, "Serial");
      d.SetComboCurSel(IDC_DEVICE, 0);
      for (const char* psz : {"Midi Through Port-0", "HALVEN USB IN 0-1", "caf\xE9 keyboard"}) {
        d.AddComboString(IDC_IN_PORT, psz);
      }
      d.SetComboCurSel(IDC_IN_PORT, 1);
      for (const char* psz : {"Midi Through Port-0", "HALVEN USB OUT 0-1"}) {
        d.AddComboString(IDC_OUT_PORT, psz);
      }
      d.SetComboCurSel(IDC_OUT_PORT, 255);  // the last open failed: nothing selected
    });
    h.RunModal(main);
    velda::qt::CDialogWidget* pMain = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pMain != nullptr);
    h.OnInstaller([&port, &nPort] { nPort.store(port.DoModal()); });
    QPointer<velda::qt::CDialogWidget> pDlg = WaitForWindow(h, IDD_PORT_SELECT);
    QVERIFY(pDlg != nullptr);

    QCOMPARE(pDlg->windowTitle(), QStringLiteral("MIDI Port Select"));
    QCOMPARE(QRect(QPoint(0, 0), pDlg->size()), Pixels(*pDlg, 0, 0, 187, 118));
    // No system menu: no close box. Owned by the main window, which it blocks.
    QVERIFY(!pDlg->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!pDlg->windowFlags().testFlag(Qt::WindowSystemMenuHint));
    QCOMPARE(pDlg->windowType(), Qt::Dialog);
    QCOMPARE(pDlg->parentWidget(), pMain);
    QCOMPARE(pDlg->windowModality(), Qt::WindowModal);

    auto* pOk = ControlOf<QPushButton>(pDlg, fw::IDOK);
    auto* pCancel = ControlOf<QPushButton>(pDlg, fw::IDCANCEL);
    auto* pDevice = ControlOf<QComboBox>(pDlg, IDC_DEVICE);
    auto* pIn = ControlOf<QComboBox>(pDlg, IDC_IN_PORT);
    auto* pOut = ControlOf<QComboBox>(pDlg, IDC_OUT_PORT);
    QVERIFY(pOk && pCancel && pDevice && pIn && pOut);
    QCOMPARE(pOk->geometry(), Pixels(*pDlg, 60, 100, 50, 14));
    QCOMPARE(pCancel->geometry(), Pixels(*pDlg, 120, 100, 50, 14));
    QVERIFY(pOk->isDefault());
    QVERIFY(!pCancel->isDefault());
    // A closed combo box is as tall as its face; its template height includes the list.
    const std::vector<std::pair<QComboBox*, QRect>> aCombos{{pDevice, Pixels(*pDlg, 12, 16, 160, 36)},
                                                            {pIn, Pixels(*pDlg, 12, 44, 160, 40)},
                                                            {pOut, Pixels(*pDlg, 12, 76, 160, 44)}};
    for (const auto& [pCombo, r] : aCombos) {
      QCOMPARE(pCombo->geometry().topLeft(), r.topLeft());
      QCOMPARE(pCombo->width(), r.width());
      QVERIFY(pCombo->height() <= r.height());
      QVERIFY(pCombo->height() >= pCombo->fontMetrics().height());
      QVERIFY(!pCombo->isEditable());
    }
    const std::vector<std::pair<QString, QRect>> aLabels{{QStringLiteral("Device"), Pixels(*pDlg, 12, 8, 28, 8)},
                                                         {QStringLiteral("In Port"), Pixels(*pDlg, 12, 36, 32, 8)},
                                                         {QStringLiteral("Out Port"), Pixels(*pDlg, 12, 68, 32, 8)}};
    QCOMPARE(pDlg->Labels().size(), aLabels.size());
    for (std::size_t i = 0; i < aLabels.size(); ++i) {
      QCOMPARE(pDlg->Labels()[i]->text(), aLabels[i].first);
      QCOMPARE(pDlg->Labels()[i]->geometry(), aLabels[i].second);
    }

    QTRY_COMPARE_WITH_TIMEOUT(pIn->count(), 3, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pOut->count(), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pDevice->count(), 2, kWaitMs);
    QVERIFY(!pDevice->isEnabled());
    QCOMPARE(pDevice->currentText(), QStringLiteral("MIDI"));
    QCOMPARE(pIn->currentIndex(), 1);
    QCOMPARE(pIn->itemText(1), QStringLiteral("HALVEN USB IN 0-1"));
    QCOMPARE(pIn->itemText(2), QString::fromUtf16(u"caf\u00E9 keyboard"));
    QCOMPARE(pOut->currentIndex(), -1);

    // The user picks the first output device with the keyboard, then presses Enter (OK).
    pOut->setFocus();
    QTest::keyClick(pOut, Qt::Key_Down);
    const std::vector<fw::WPARAM> aSel{static_cast<fw::WPARAM>(IDC_OUT_PORT) |
                                       (static_cast<fw::WPARAM>(fw::CBN_SELCHANGE) << 16)};
    QTRY_COMPARE_WITH_TIMEOUT(port.Commands(), aSel, kWaitMs);
    QCOMPARE(pOut->currentIndex(), 0);
    QTest::keyClick(pOut, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(nPort.load(), fw::IDOK, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(pDlg == nullptr, kWaitMs);
    QVERIFY(pMain->isVisible());

    // Again, and Esc: Cancel.
    nPort.store(-100);
    h.OnInstaller([&port, &nPort] { nPort.store(port.DoModal()); });
    pDlg = WaitForWindow(h, IDD_PORT_SELECT);
    QVERIFY(pDlg != nullptr);
    QTest::keyClick(pDlg, Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(nPort.load(), fw::IDCANCEL, kWaitMs);
    QVERIFY(!h.Ended());
  }

  void WindowRepaintsWhileTheInstallerSleeps() {
    std::atomic<bool> bAsleep{false};
    std::atomic<bool> bAwake{false};
    CHarness h;
    CProbeDlg& dlg = h.Dialog(velda::InstallerTemplate());
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    auto* pStatus = ControlOf<QLineEdit>(pWnd, IDC_STATUS);
    QVERIFY(!HasInk(pWnd->grab().toImage(), pStatus->geometry()));

    h.OnInstaller([&] {
      dlg.SetDlgItemText(IDC_STATUS, "Change UpDate Mode.");
      dlg.UpdateDlgItem(IDC_STATUS);
      bAsleep.store(true);
      fw::Sleep(4000);  // the installer's thread blocks, as in the 5 s pause of the start
      bAwake.store(true);
    });
    QTRY_VERIFY_WITH_TIMEOUT(bAsleep.load(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pStatus->text(), QStringLiteral("Change UpDate Mode."), 3000);
    pWnd->repaint();
    const QImage shot = pWnd->grab().toImage();
    QVERIFY(!bAwake.load());  // all of this happened while the installer slept
    QVERIFY(HasInk(shot, pStatus->geometry()));
    // Esc pressed meanwhile waits for the installer: the dialog ends only after the sleep.
    QTest::keyClick(pWnd, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(h.Ended(), kWaitMs + 4000);
    QVERIFY(bAwake.load());
    QCOMPARE(h.Result(), fw::IDCANCEL);
  }

  void MinimisedWindowDrawsItsIconCentred() {
    CHarness h;
    CProbeDlg& dlg =
        h.Dialog(velda::InstallerTemplate(), [](CProbeDlg& d) { d.SetDlgItemText(IDC_STATUS, "Start VELDA UpDate."); });
    h.RunModal(dlg);
    velda::qt::CDialogWidget* pWnd = WaitForWindow(h, IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    auto* pStatus = ControlOf<QLineEdit>(pWnd, IDC_STATUS);
    QTRY_VERIFY_WITH_TIMEOUT(!pWnd->windowIcon().isNull(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(pStatus->text(), QStringLiteral("Start VELDA UpDate."), kWaitMs);

    pWnd->showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(pWnd->isMinimized(), kWaitMs);
    const QImage shot = pWnd->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage icon = velda::qt::ApplicationIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint origin = velda::qt::CentredIconOrigin(pWnd->size(), QSize(32, 32));
    int nOpaque = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        if (qAlpha(icon.pixel(x, y)) == 255) {
          ++nOpaque;
          QCOMPARE(shot.pixel(origin + QPoint(x, y)), icon.pixel(x, y));
        }
      }
    }
    QVERIFY(nOpaque > 500);
    // Only the icon: the status box's text is not drawn.
    QVERIFY(!HasInk(shot, pStatus->geometry()));

    pWnd->showNormal();
    QTRY_VERIFY_WITH_TIMEOUT(!pWnd->isMinimized(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(pStatus->isVisible(), kWaitMs);
    QVERIFY(HasInk(pWnd->grab().toImage(), pStatus->geometry()));
  }
};

QTEST_MAIN(CWindowsTest)
#include "qt_windows_test.moc"
