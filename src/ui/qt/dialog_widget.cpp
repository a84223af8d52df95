#include "ui/qt/dialog_widget.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "ui/qt/app_icon.h"
#include "ui/qt/display_text.h"
#include "ui/qt/progress_view.h"

namespace velda::qt {

namespace {

// "System" names the platform's dialog font, whose size the platform decides: here that is the
// desktop's user-interface font. Any other face is taken at the template's point size.
QFont DialogFont(const fw::CDialogTemplate& tmpl) {
  QFont font = QApplication::font();
  if (!tmpl.strFont.IsEmpty() && tmpl.strFont.Str() != "System") {
    font.setFamily(AnsiToQString(tmpl.strFont.View()));
    if (tmpl.nPointSize > 0) {
      font.setPointSize(tmpl.nPointSize);
    }
  }
  return font;
}

CBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics fm(font);
  const int nWidth = fm.horizontalAdvance(
      QString::fromLatin1(kBaseUnitLetters.data(), static_cast<qsizetype>(kBaseUnitLetters.size())));
  return BaseUnitsFromLetters(nWidth, fm.height());
}

Qt::WindowFlags WindowFlagsOf(const fw::CDialogTemplate& tmpl, bool bOwned) {
  Qt::WindowFlags flags = (bOwned ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (tmpl.bSystemMenu) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  }
  return flags;
}

}  // namespace

CDialogWidget::CDialogWidget(fw::HWND hWnd, const fw::CDialogTemplate& tmpl, FnInput fnInput, QWidget* pOwner)
    : QWidget(pOwner, WindowFlagsOf(tmpl, pOwner != nullptr)),
      m_hWnd(hWnd),
      m_nTemplateId(tmpl.nId),
      m_fnInput(std::move(fnInput)) {
  setObjectName(QStringLiteral("dialog%1").arg(tmpl.nId));
  setFont(DialogFont(tmpl));
  m_base = BaseUnitsOf(font());
  setWindowTitle(AnsiToQString(tmpl.strCaption.View()));
  if (pOwner != nullptr) {
    setWindowModality(Qt::WindowModal);
  }

  const CPixelRect client = DialogToPixels(0, 0, tmpl.cx, tmpl.cy, m_base);
  setFixedSize(client.cx, client.cy);
  m_pClient = new QWidget(this);
  m_pClient->setGeometry(0, 0, client.cx, client.cy);

  // Controls are made in template order, which is also the tab order.
  for (const fw::CControlTemplate& ct : tmpl.aControls) {
    QWidget* pWidget = MakeControl(ct);
    Place(pWidget, ct);
    pWidget->setEnabled(ct.bEnabled);
    pWidget->setVisible(ct.bVisible);
    if (ct.nId < 0) {
      m_aLabels.push_back(static_cast<QLabel*>(pWidget));
      continue;
    }
    m_controls[ct.nId] = pWidget;
    m_kinds[ct.nId] = ct.eKind;
    if (ct.bDefault) {
      m_nDefaultId = ct.nId;
    }
  }
}

CDialogWidget::~CDialogWidget() = default;

QWidget* CDialogWidget::MakeControl(const fw::CControlTemplate& ct) {
  const QString strText = AnsiToQString(ct.strText.View());
  const int nId = ct.nId;
  switch (ct.eKind) {
    case fw::EControlKind::Button: {
      auto* pButton = new QPushButton(strText, m_pClient);
      pButton->setDefault(ct.bDefault);
      connect(pButton, &QPushButton::clicked, this, [this, nId] { Send(fw::CInputEvent::Click(m_hWnd, nId)); });
      pButton->setObjectName(QStringLiteral("ctl%1").arg(nId));
      return pButton;
    }
    case fw::EControlKind::Edit: {
      // The installer writes the edit box; the user only reads it. No frame, the dialog's colour.
      auto* pEdit = new QLineEdit(strText, m_pClient);
      pEdit->setReadOnly(true);
      pEdit->setFrame(false);
      pEdit->setCursorPosition(0);
      QPalette pal = pEdit->palette();
      pal.setColor(QPalette::Base, pal.color(QPalette::Window));
      pEdit->setPalette(pal);
      pEdit->setObjectName(QStringLiteral("ctl%1").arg(nId));
      return pEdit;
    }
    case fw::EControlKind::Progress: {
      auto* pBar = new QProgressBar(m_pClient);
      pBar->setTextVisible(false);
      const CBarRange range = BarRangeOf(fw::CProgressState{});
      pBar->setRange(range.nMinimum, range.nMaximum);
      pBar->setValue(range.nValue);
      pBar->setObjectName(QStringLiteral("ctl%1").arg(nId));
      return pBar;
    }
    case fw::EControlKind::Combo: {
      // A list to choose from; the installer never reads typed text, so nothing can be typed.
      auto* pCombo = new QComboBox(m_pClient);
      pCombo->setEditable(false);
      connect(pCombo, &QComboBox::activated, this,
              [this, nId](int nPos) { Send(fw::CInputEvent::ComboSel(m_hWnd, nId, nPos)); });
      pCombo->setObjectName(QStringLiteral("ctl%1").arg(nId));
      return pCombo;
    }
    case fw::EControlKind::Static:
      break;
  }
  auto* pLabel = new QLabel(strText, m_pClient);
  pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  pLabel->setWordWrap(true);
  pLabel->setTextFormat(Qt::PlainText);
  if (nId >= 0) {
    pLabel->setObjectName(QStringLiteral("ctl%1").arg(nId));
  }
  return pLabel;
}

void CDialogWidget::Place(QWidget* pWidget, const fw::CControlTemplate& ct) const {
  CPixelRect r = DialogToPixels(ct.x, ct.y, ct.cx, ct.cy, m_base);
  if (ct.eKind == fw::EControlKind::Combo) {
    // A combo box's height in the template includes its dropped-down list; closed, it is as
    // tall as its own face.
    r.cy = std::min(r.cy, pWidget->sizeHint().height());
  }
  pWidget->setGeometry(r.x, r.y, r.cx, r.cy);
}

QWidget* CDialogWidget::Control(int nId) const {
  const auto it = m_controls.find(nId);
  return it == m_controls.end() ? nullptr : it->second;
}

void CDialogWidget::ApplyControl(const fw::CControlState& ctl) {
  const int nId = ctl.tmpl.nId;
  QWidget* pWidget = Control(nId);
  if (pWidget == nullptr) {
    return;
  }
  const QString strText = AnsiToQString(ctl.strText.View());
  switch (m_kinds[nId]) {
    case fw::EControlKind::Button:
      static_cast<QPushButton*>(pWidget)->setText(strText);
      break;
    case fw::EControlKind::Static:
      static_cast<QLabel*>(pWidget)->setText(strText);
      break;
    case fw::EControlKind::Edit: {
      auto* pEdit = static_cast<QLineEdit*>(pWidget);
      if (pEdit->text() != strText) {
        pEdit->setText(strText);
        pEdit->setCursorPosition(0);  // a long text shows its beginning
      }
      break;
    }
    case fw::EControlKind::Progress: {
      auto* pBar = static_cast<QProgressBar*>(pWidget);
      const CBarRange range = BarRangeOf(ctl.progress);
      pBar->setRange(range.nMinimum, range.nMaximum);
      pBar->setValue(range.nValue);
      break;
    }
    case fw::EControlKind::Combo: {
      auto* pCombo = static_cast<QComboBox*>(pWidget);
      QStringList aItems;
      for (const fw::CString& s : ctl.aItems) {
        aItems.append(AnsiToQString(s.View()));
      }
      QStringList aShown;
      for (int i = 0; i < pCombo->count(); ++i) {
        aShown.append(pCombo->itemText(i));
      }
      if (aShown != aItems) {
        pCombo->clear();
        pCombo->addItems(aItems);
      }
      pCombo->setCurrentIndex(ctl.nCurSel >= 0 && ctl.nCurSel < pCombo->count() ? ctl.nCurSel : -1);
      break;
    }
  }
  pWidget->setEnabled(ctl.bEnabled);
  pWidget->setVisible(ctl.bVisible);
  // Drawn at once, even while the installer's thread is busy: this thread paints.
  pWidget->update();
}

void CDialogWidget::SetIcon(const QIcon& icon) {
  m_icon = icon;
  setWindowIcon(icon);
  update();
}

void CDialogWidget::Send(const fw::CInputEvent& ev) const {
  if (m_fnInput) {
    m_fnInput(ev);
  }
}

void CDialogWidget::closeEvent(QCloseEvent* pEvent) {
  // The close box asks; the installer decides (it ends the dialog with Cancel).
  pEvent->ignore();
  Send(fw::CInputEvent::Close(m_hWnd));
}

int CDialogWidget::EnterButtonId() const {
  for (const auto& [nId, pWidget] : m_controls) {
    if (m_kinds.at(nId) == fw::EControlKind::Button && pWidget->hasFocus()) {
      return nId;
    }
  }
  return m_nDefaultId != 0 ? m_nDefaultId : fw::IDOK;
}

void CDialogWidget::keyPressEvent(QKeyEvent* pEvent) {
  switch (pEvent->key()) {
    case Qt::Key_Escape:
      Send(fw::CInputEvent::Close(m_hWnd));
      pEvent->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A disabled or hidden button ignores the press; the installer checks that.
      Send(fw::CInputEvent::Click(m_hWnd, EnterButtonId()));
      pEvent->accept();
      return;
    default:
      QWidget::keyPressEvent(pEvent);
  }
}

void CDialogWidget::changeEvent(QEvent* pEvent) {
  if (pEvent->type() == QEvent::WindowStateChange) {
    // Minimised, the client area shows only the icon.
    m_pClient->setVisible(!isMinimized());
    update();
  }
  QWidget::changeEvent(pEvent);
}

void CDialogWidget::paintEvent(QPaintEvent* pEvent) {
  if (!isMinimized() || m_icon.isNull()) {
    QWidget::paintEvent(pEvent);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  const QSize iconSize(kSystemIconSize, kSystemIconSize);
  painter.drawPixmap(CentredIconOrigin(size(), iconSize), m_icon.pixmap(iconSize));
}

}  // namespace velda::qt
