// Whole installations through the Qt window, offscreen, as a user goes through them: the program's
// start-up on a real clock, the installer on a thread of its own, the simulated instrument on the
// virtual driver (restart into update mode off, a small package, so a run takes seconds). The
// test answers the boxes and clicks the buttons, and checks at every stage the status text, the
// enabled buttons, the boxes, and at the end the instrument's memory. A screenshot of the main
// window is saved in the build folder.
#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fw/device_thread.h"
#include "fw/msgloop.h"
#include "gui/support/quiet_offscreen.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
#include "shell/installer_app.h"
#include "shell/steps.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "ui/qt/qt_session.h"

namespace {

// The installer's pauses (5 s after the ports open, 1.5 s of start delay) and a time-out of the
// inquiry (15 s) run on the real clock: waits are generous.
constexpr int kStageMs = 60'000;

constexpr std::uint32_t kAddress = 0x10000;
constexpr std::size_t kDataSize = 6000;  // two blocks of 1000 (hex): 4096 and 1904 bytes

std::vector<std::uint8_t> DemoData() {
  std::vector<std::uint8_t> a(kDataSize);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  return a;
}

std::string DemoScript() {
  return "; VELDA demo package\r\n"
         "KEYWORD,#5168_1994KESTRA\r\n"
         "MODEL_NAME,VELDA\r\n"
         "SET_UPDATE_MODE_ON\r\n"
         "UP_BAUDRATE\r\n"
         "SET_UPDATE_DEVICE,0,MAIN\r\n"
         "OPEN_DATA_FILE,0,main.bin\r\n"
         "UPDATE_DEVICE,10000,1000,0\r\n"
         "SET_UPDATE_MODE_OFF\r\n"
         "RESET_BAUDRATE\r\n";
}

// What the window showed when its status text changed: the text and whether MIDI Port and Close
// were enabled.
QString Stage(const QString& strStatus, bool bPortEnabled, bool bCloseEnabled) {
  return QStringLiteral("%1 port=%2 close=%3").arg(strStatus).arg(bPortEnabled ? 1 : 0).arg(bCloseEnabled ? 1 : 0);
}

// The stages of one complete run, every one with the buttons disabled: two blocks uploaded.
QStringList RunningStages() {
  QStringList a;
  for (const char* psz :
       {"Change UpDate Mode.", "Start VELDA UpDate.", "Open Data File.", "Data UpLoad.", "Write Block.",
        "Block Check SUM OK.", "Data UpLoad.", "Write Block.", "Block Check SUM OK."}) {
    a.append(Stage(QString::fromLatin1(psz), false, false));
  }
  return a;
}

// One run of the program: the simulated instrument, the installer and its Qt window.
class CProgramRun {
 public:
  explicit CProgramRun(const velda::CInstrumentConfig& config) : m_instrument(m_driver, config) {
    const std::vector<std::uint8_t> aPackage = velda::test::MakePackage(DemoScript(), {{"main.bin", DemoData()}});
    const std::string strPackage = m_dir.filePath(QStringLiteral("velda.uxs")).toStdString();
    std::ofstream f(strPackage, std::ios::binary);
    f.write(reinterpret_cast<const char*>(aPackage.data()), static_cast<std::streamsize>(aPackage.size()));
    f.close();
    velda::SetMidiDriver(&m_driver);
    m_app.SetLockFolder(m_dir.path().toStdString());
    m_app.SetPackagePath(strPackage);
    m_pSession = std::make_unique<velda::qt::CQtSession>(m_app, m_loop);
  }
  ~CProgramRun() {
    m_pSession.reset();  // aborts the installer if a failed check left it running
    velda::SetMidiDriver(nullptr);
    m_devices.Stop();
  }
  CProgramRun(const CProgramRun&) = delete;
  CProgramRun& operator=(const CProgramRun&) = delete;

  velda::qt::CQtSession& Session() { return *m_pSession; }
  velda::qt::CQtFrontEnd& FrontEnd() { return m_pSession->FrontEnd(); }
  velda::CSimInstrument& Instrument() { return m_instrument.Instrument(); }
  // The device thread stops: nothing of the instrument runs any more, its memory can be read.
  void StopDevices() { m_devices.Stop(); }

  // Records the stages of the main window (it exists before the first question shows).
  void WatchMainWindow() {
    velda::qt::CDialogWidget* pWnd = FrontEnd().WindowOf(IDD_INSTALLER);
    QVERIFY(pWnd != nullptr);
    auto* pStatus = qobject_cast<QLineEdit*>(pWnd->Control(IDC_STATUS));
    m_pPort = qobject_cast<QPushButton*>(pWnd->Control(IDC_MIDI_PORT));
    m_pClose = qobject_cast<QPushButton*>(pWnd->Control(fw::IDOK));
    QVERIFY(pStatus && m_pPort && m_pClose);
    QObject::connect(pStatus, &QLineEdit::textChanged, pStatus, [this](const QString& str) {
      m_aStages.append(Stage(str, m_pPort->isEnabled(), m_pClose->isEnabled()));
      if (m_fnOnStatus) m_fnOnStatus(str);
    });
  }
  const QStringList& Stages() const { return m_aStages; }
  void SetOnStatus(std::function<void(const QString&)> fn) { m_fnOnStatus = std::move(fn); }

 private:
  QTemporaryDir m_dir;
  fw::CDeviceThread m_devices;
  velda::CVirtualMidiDriver m_driver{m_devices};
  velda::CHostedInstrument m_instrument;
  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Real};
  velda::CInstallerApp m_app{m_loop};
  std::unique_ptr<velda::qt::CQtSession> m_pSession;
  QPointer<QPushButton> m_pPort;
  QPointer<QPushButton> m_pClose;
  QStringList m_aStages;
  std::function<void(const QString&)> m_fnOnStatus;
};

velda::CInstrumentConfig QuickInstrument() {
  velda::CInstrumentConfig config;
  config.bRestartOnModeOn = false;  // no 20 s port recovery
  config.nLatencyMs = 1;
  return config;
}

}  // namespace

class CInstallationTest : public QObject {
  Q_OBJECT

 private:
  // Waits for a box with this text, checks how it looks, and presses its OK button.
  static void ConfirmBox(CProgramRun& run, const QString& strText, QMessageBox::Icon eIcon,
                         QMessageBox::StandardButtons buttons) {
    QMessageBox* pBox = nullptr;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                   pBox = run.FrontEnd().OpenBox();
                   return pBox != nullptr && pBox->isVisible() && pBox->text() == strText;
                 },
                 kStageMs),
             qPrintable(QStringLiteral("no box \"%1\"").arg(strText)));
    QCOMPARE(QApplication::activeModalWidget(), pBox);
    QCOMPARE(pBox->windowTitle(), QStringLiteral("VELDA Installer"));
    QCOMPARE(pBox->icon(), eIcon);
    QCOMPARE(pBox->standardButtons(), buttons);
    QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(run.FrontEnd().OpenBox() != pBox, kStageMs);
  }

  static void AnswerTheFourQuestions(CProgramRun& run) {
    const QMessageBox::StandardButtons okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    QTRY_VERIFY_WITH_TIMEOUT(run.FrontEnd().OpenBox() != nullptr, kStageMs);
    run.WatchMainWindow();
    if (QTest::currentTestFailed()) return;
    for (const char* psz :
         {velda::TXT_QUESTION_1, velda::TXT_QUESTION_2, velda::TXT_QUESTION_3, velda::TXT_QUESTION_4}) {
      // The main window is not shown while the questions are asked.
      QVERIFY(!run.FrontEnd().WindowOf(IDD_INSTALLER)->isVisible());
      ConfirmBox(run, QString::fromLatin1(psz).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 QMessageBox::Information, okCancel);
      if (QTest::currentTestFailed()) return;
    }
  }

  static void CheckMemory(CProgramRun& run) {
    run.StopDevices();
    const std::vector<std::uint8_t> aWritten = run.Instrument().ReadRange(0, kAddress, kDataSize);
    QVERIFY(aWritten == DemoData());
    QVERIFY(run.Instrument().WasWritten(0, kAddress + kDataSize - 1));
    QVERIFY(!run.Instrument().WasWritten(0, kAddress + kDataSize));
    const velda::CInstrumentStats& stats = run.Instrument().Stats();
    QCOMPARE(stats.nBlocksWritten, 2u);
    QCOMPARE(stats.nChecksumsMatched, 2u);
    QCOMPARE(stats.nMalformed, 0u);
    QCOMPARE(stats.nOutOfSequence, 0u);
    QVERIFY(!run.Instrument().InUpdateMode());
  }

 private slots:
  void initTestCase() { velda::test::QuietOffscreenPlatform(); }

  void WholeInstallationThroughTheWindow() {
    QImage shot;
    CProgramRun run(QuickInstrument());
    run.SetOnStatus([&](const QString& str) {
      // The first block confirmed: both bars part-way. Taken as the status is drawn.
      if (str == QLatin1String("Block Check SUM OK.") && shot.isNull()) {
        shot = run.FrontEnd().WindowOf(IDD_INSTALLER)->grab().toImage();
      }
    });
    run.Session().Start();
    AnswerTheFourQuestions(run);
    if (QTest::currentTestFailed()) return;

    velda::qt::CDialogWidget* pWnd = run.FrontEnd().WindowOf(IDD_INSTALLER);
    QTRY_VERIFY_WITH_TIMEOUT(pWnd->isVisible(), kStageMs);
    ConfirmBox(run, QString::fromLatin1(velda::TXT_COMPLETED).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
               QMessageBox::Information, QMessageBox::Ok);
    if (QTest::currentTestFailed()) return;
    QTRY_VERIFY_WITH_TIMEOUT(run.Session().IsFinished(), kStageMs);
    QTRY_VERIFY_WITH_TIMEOUT(run.FrontEnd().WindowOf(IDD_INSTALLER) == nullptr, kStageMs);

    QCOMPARE(run.Stages(), RunningStages());
    CheckMemory(run);

    QVERIFY(!shot.isNull());
    const QString strPath = QStringLiteral(VELDA_GUI_OUTPUT_DIR "/velda-installer-window.png");
    QVERIFY(shot.save(strPath));
    QVERIFY(QFileInfo(strPath).size() > 0);
  }

  void BarsAndButtonsWhileTheCompletionBoxShows() {
    int nDataMax = 0;
    CProgramRun run(QuickInstrument());
    run.Session().Start();
    AnswerTheFourQuestions(run);
    if (QTest::currentTestFailed()) return;
    velda::qt::CDialogWidget* pWnd = run.FrontEnd().WindowOf(IDD_INSTALLER);
    auto* pAll = qobject_cast<QProgressBar*>(pWnd->Control(IDC_PROGRESS_ALL));
    auto* pData = qobject_cast<QProgressBar*>(pWnd->Control(IDC_PROGRESS_DATA));
    QObject::connect(pData, &QProgressBar::valueChanged, pData, [&](int n) { nDataMax = std::max(nDataMax, n); });

    QTRY_VERIFY_WITH_TIMEOUT(run.FrontEnd().OpenBox() != nullptr, kStageMs);
    QMessageBox* pBox = run.FrontEnd().OpenBox();
    QCOMPARE(pBox->text(),
             QStringLiteral("Installation is completed.\nPlease turn the power switch of the instrument off."));
    // The script has been read to its end; the upload filled the Data bar (its three packets of
    // 2450 clamp at 6001) and the end of the entry reset it.
    QCOMPARE(pAll->value(), pAll->maximum());
    QCOMPARE(pAll->minimum(), 1);
    QCOMPARE(pAll->maximum(), static_cast<int>(DemoScript().size()));
    QCOMPARE(nDataMax, static_cast<int>(kDataSize) + 1);
    QCOMPARE(pData->maximum(), static_cast<int>(kDataSize) + 1);
    QCOMPARE(pData->value(), 0);
    QVERIFY(!pWnd->Control(IDC_MIDI_PORT)->isEnabled());
    QVERIFY(!pWnd->Control(fw::IDOK)->isEnabled());
    QCOMPARE(qobject_cast<QLineEdit*>(pWnd->Control(IDC_STATUS))->text(), QStringLiteral("Block Check SUM OK."));
    // However long the box waits, no time-out comes: 1.5 s of ticks.
    QTest::qWait(1500);
    QCOMPARE(run.FrontEnd().OpenBox(), pBox);
    QTest::keyClick(pBox, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(run.Session().IsFinished(), kStageMs);
    CheckMemory(run);
  }

  void TimeOutThenMidiPortThenASecondRun() {
    velda::CInstrumentConfig config = QuickInstrument();
    // The instrument stays silent to the first inquiry and every resend: the wait runs out.
    config.faultPlan.aRules.push_back(
        velda::CFaultRule{velda::EInstrumentFault::NoReply, velda::EInstrumentRequest::Inquiry, 1, 31});
    CProgramRun run(config);
    run.Session().Start();
    AnswerTheFourQuestions(run);
    if (QTest::currentTestFailed()) return;
    velda::qt::CDialogWidget* pWnd = run.FrontEnd().WindowOf(IDD_INSTALLER);
    auto* pPort = qobject_cast<QPushButton*>(pWnd->Control(IDC_MIDI_PORT));
    auto* pClose = qobject_cast<QPushButton*>(pWnd->Control(fw::IDOK));

    ConfirmBox(run, QStringLiteral(" \n Time Out   \n"), QMessageBox::Warning, QMessageBox::Ok);
    if (QTest::currentTestFailed()) return;
    // Timed out: MIDI Port and Close for the user; the status as the last step left it.
    QTRY_VERIFY_WITH_TIMEOUT(pPort->isEnabled() && pClose->isEnabled(), kStageMs);
    QCOMPARE(qobject_cast<QLineEdit*>(pWnd->Control(IDC_STATUS))->text(), QStringLiteral("Start VELDA UpDate."));
    QCOMPARE(run.Stages(), RunningStages().mid(0, 2));

    // MIDI Port: the port dialog offers the instrument's ports, the ones opened last.
    QTest::mouseClick(pPort, Qt::LeftButton);
    velda::qt::CDialogWidget* pDlg = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((pDlg = run.FrontEnd().WindowOf(IDD_PORT_SELECT)) != nullptr && pDlg->isVisible(),
                             kStageMs);
    QCOMPARE(QApplication::activeModalWidget(), pDlg);
    auto* pIn = qobject_cast<QComboBox*>(pDlg->Control(IDC_IN_PORT));
    auto* pOut = qobject_cast<QComboBox*>(pDlg->Control(IDC_OUT_PORT));
    QTRY_COMPARE_WITH_TIMEOUT(pIn->currentText(), QStringLiteral("HALVEN USB IN 0-1"), kStageMs);
    QTRY_COMPARE_WITH_TIMEOUT(pOut->currentText(), QStringLiteral("HALVEN USB OUT 0-1"), kStageMs);
    QCOMPARE(qobject_cast<QComboBox*>(pDlg->Control(IDC_DEVICE))->currentText(), QStringLiteral("MIDI"));
    QTest::mouseClick(qobject_cast<QPushButton*>(pDlg->Control(fw::IDOK)), Qt::LeftButton);

    // The second run starts at once from the inquiry, and completes.
    QTRY_VERIFY_WITH_TIMEOUT(!pPort->isEnabled() && !pClose->isEnabled(), kStageMs);
    QTRY_VERIFY_WITH_TIMEOUT(run.FrontEnd().WindowOf(IDD_PORT_SELECT) == nullptr, kStageMs);
    ConfirmBox(run, QString::fromLatin1(velda::TXT_COMPLETED).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
               QMessageBox::Information, QMessageBox::Ok);
    if (QTest::currentTestFailed()) return;
    QTRY_VERIFY_WITH_TIMEOUT(run.Session().IsFinished(), kStageMs);

    // "Start VELDA UpDate." is set again, the same text; the rest follows as in one run.
    QCOMPARE(run.Stages(), RunningStages());
    CheckMemory(run);
    // The 31 unanswered inquiries, then the second run's.
    QVERIFY(run.Instrument().Stats().Received(velda::EInstrumentRequest::Inquiry) > 31);
  }
};

QTEST_MAIN(CInstallationTest)
#include "qt_installation_test.moc"
