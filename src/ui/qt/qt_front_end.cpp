#include "ui/qt/qt_front_end.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMetaObject>

#include "ui/qt/app_icon.h"
#include "ui/qt/box_style.h"
#include "ui/qt/display_text.h"

namespace velda::qt {

CQtFrontEnd::CQtFrontEnd(fw::CMsgLoop& loop) : m_loop(loop) {}

CQtFrontEnd::~CQtFrontEnd() {
  // Windows and boxes already let go are deleted now, not left to an event loop that may not run.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (auto& [nBoxId, box] : m_boxes) {
    if (box.pBox != nullptr) {
      box.pBox->disconnect();
      delete box.pBox.data();
    }
  }
  for (auto& [hWnd, pWnd] : m_windows) {
    delete pWnd.data();
  }
}

void CQtFrontEnd::Queue(std::function<void()> fn) {
  QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
}

// ---- Installer thread: copy what the call carries and queue it.

void CQtFrontEnd::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  Queue([this, hWnd, tmpl] { MakeWindow(hWnd, tmpl); });
}

void CQtFrontEnd::OnWindowShown(fw::HWND hWnd, bool bShow) {
  Queue([this, hWnd, bShow] {
    if (CDialogWidget* pWnd = Window(hWnd)) {
      if (bShow) {
        pWnd->show();
        pWnd->raise();
        pWnd->activateWindow();
      } else {
        pWnd->hide();
      }
    }
  });
}

void CQtFrontEnd::OnWindowDestroyed(fw::HWND hWnd) {
  Queue([this, hWnd] { DropWindow(hWnd); });
}

void CQtFrontEnd::OnWindowIcon(fw::HWND hWnd, int nIconId, bool /*bBig*/) {
  // One icon serves both sizes: it is drawn at whatever size the desktop asks for.
  Queue([this, hWnd, nIconId] {
    if (CDialogWidget* pWnd = Window(hWnd)) {
      pWnd->SetIcon(IconOfResource(nIconId));
    }
  });
}

void CQtFrontEnd::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  Queue([this, hWnd, ctl] {
    if (CDialogWidget* pWnd = Window(hWnd)) {
      pWnd->ApplyControl(ctl);
    }
  });
}

void CQtFrontEnd::ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                                 fw::UINT uType) {
  Queue([this, nBoxId, hOwner, text = BoxText(strText.View()), caption = AnsiToQString(strCaption.View()), uType] {
    OpenBoxNow(nBoxId, hOwner, text, caption, uType);
  });
}

void CQtFrontEnd::CloseMessageBox(int nBoxId, int /*nAnswer*/) {
  Queue([this, nBoxId] { CloseBoxNow(nBoxId); });
}

// ---- GUI thread.

CDialogWidget* CQtFrontEnd::Window(fw::HWND hWnd) const {
  const auto it = m_windows.find(hWnd);
  return it == m_windows.end() ? nullptr : it->second.data();
}

CDialogWidget* CQtFrontEnd::WindowOf(int nTemplateId) const {
  CDialogWidget* pFound = nullptr;
  for (const auto& [hWnd, pWnd] : m_windows) {
    if (pWnd != nullptr && pWnd->TemplateId() == nTemplateId) {
      pFound = pWnd.data();  // handles grow: the last one is the newest
    }
  }
  return pFound;
}

CDialogWidget* CQtFrontEnd::FirstWindow() const {
  for (const auto& [hWnd, pWnd] : m_windows) {
    if (pWnd != nullptr) {
      return pWnd.data();
    }
  }
  return nullptr;
}

QMessageBox* CQtFrontEnd::OpenBox() const {
  QMessageBox* pFound = nullptr;
  for (const auto& [nBoxId, box] : m_boxes) {
    if (box.pBox != nullptr && !box.bAnswered) {
      pFound = box.pBox.data();
    }
  }
  return pFound;
}

void CQtFrontEnd::MakeWindow(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  // The first window is the main window, with its own task-bar entry; later ones are its dialogs.
  auto* pWnd = new CDialogWidget(
      hWnd, tmpl, [this](const fw::CInputEvent& ev) { m_loop.PostInput(ev); }, FirstWindow());
  m_windows[hWnd] = pWnd;
}

void CQtFrontEnd::DropWindow(fw::HWND hWnd) {
  const auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) {
    return;
  }
  QPointer<CDialogWidget> pWnd = it->second;
  m_windows.erase(it);
  if (pWnd != nullptr) {
    pWnd->hide();
    pWnd->deleteLater();
  }
}

void CQtFrontEnd::OpenBoxNow(int nBoxId, fw::HWND hOwner, const QString& strText, const QString& strCaption,
                             fw::UINT uType) {
  CDialogWidget* pOwner = Window(hOwner);
  if (pOwner == nullptr) {
    pOwner = FirstWindow();
  }
  // A box over a window not yet shown (the start-up questions) stands on its own, centred on the
  // screen, and blocks the whole application.
  const bool bOwned = pOwner != nullptr && pOwner->isVisible();
  auto* pBox = new QMessageBox(BoxIconOf(uType), strCaption, strText, BoxButtonsOf(uType), bOwned ? pOwner : nullptr);
  pBox->setObjectName(QStringLiteral("box%1").arg(nBoxId));
  pBox->setTextFormat(Qt::PlainText);
  pBox->setDefaultButton(QMessageBox::Ok);
  m_boxes[nBoxId] = CBox{pBox, false};
  QObject::connect(pBox, &QDialog::finished, &m_context, [this, nBoxId, uType] {
    const auto it = m_boxes.find(nBoxId);
    if (it == m_boxes.end() || it->second.bAnswered || it->second.pBox == nullptr) {
      return;
    }
    it->second.bAnswered = true;
    QMessageBox* pAnswered = it->second.pBox.data();
    const int nAnswer = BoxAnswerOf(uType, pAnswered->standardButton(pAnswered->clickedButton()));
    m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBoxId, nAnswer));
  });
  // Not exec(): the GUI thread never blocks; the installer's loop waits for the answer.
  if (bOwned) {
    pBox->open();
  } else {
    pBox->setWindowModality(Qt::ApplicationModal);
    pBox->show();
  }
}

void CQtFrontEnd::CloseBoxNow(int nBoxId) {
  const auto it = m_boxes.find(nBoxId);
  if (it == m_boxes.end()) {
    return;
  }
  QPointer<QMessageBox> pBox = it->second.pBox;
  m_boxes.erase(it);
  if (pBox != nullptr) {
    // A box the installer ended itself (its run was cancelled) goes without an answer.
    pBox->disconnect(&m_context);
    pBox->hide();
    pBox->deleteLater();
  }
}

}  // namespace velda::qt
