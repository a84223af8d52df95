// One window of the installer drawn with Qt Widgets, built from any dialog template: push buttons,
// labels, the read-only edit box, progress bars and combo boxes, placed by dialog units of the
// dialog's font. The installer decides everything; the window only shows the state it is given
// and passes on what the user does: a button click, a combo choice, and the close box or Esc
// (a close request, which the dialog turns into Cancel). It never closes itself.
#pragma once

#include <QIcon>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

#include "fw/controls.h"
#include "fw/view.h"
#include "ui/qt/dialog_units.h"

class QLabel;

namespace velda::qt {

class CDialogWidget : public QWidget {
 public:
  using FnInput = std::function<void(const fw::CInputEvent&)>;

  // pOwner: the window that owns this one (a dialog over the main window), or null for a window
  // of its own with its own task-bar entry.
  CDialogWidget(fw::HWND hWnd, const fw::CDialogTemplate& tmpl, FnInput fnInput, QWidget* pOwner = nullptr);
  ~CDialogWidget() override;
  CDialogWidget(const CDialogWidget&) = delete;
  CDialogWidget& operator=(const CDialogWidget&) = delete;

  fw::HWND Handle() const { return m_hWnd; }
  int TemplateId() const { return m_nTemplateId; }
  const CBaseUnits& BaseUnits() const { return m_base; }

  // Shows one control's state: text, enabled, visible, progress, combo entries and selection.
  void ApplyControl(const fw::CControlState& ctl);
  // The widget of the control with that id (null for none); labels without an id in order.
  QWidget* Control(int nId) const;
  const std::vector<QLabel*>& Labels() const { return m_aLabels; }

  // The window's icon, drawn in the client area too while the window is minimised.
  void SetIcon(const QIcon& icon);

 protected:
  void closeEvent(QCloseEvent* pEvent) override;
  void keyPressEvent(QKeyEvent* pEvent) override;
  void paintEvent(QPaintEvent* pEvent) override;
  void changeEvent(QEvent* pEvent) override;

 private:
  QWidget* MakeControl(const fw::CControlTemplate& ct);
  void Place(QWidget* pWidget, const fw::CControlTemplate& ct) const;
  // The button that Enter presses: the focused push button, else the default one, else IDOK.
  int EnterButtonId() const;
  void Send(const fw::CInputEvent& ev) const;

  const fw::HWND m_hWnd;
  const int m_nTemplateId;
  FnInput m_fnInput;
  CBaseUnits m_base;
  QWidget* m_pClient = nullptr;  // holds the controls; hidden while minimised
  std::map<int, QWidget*> m_controls;
  std::map<int, fw::EControlKind> m_kinds;
  std::vector<QLabel*> m_aLabels;
  int m_nDefaultId = 0;
  QIcon m_icon;
};

}  // namespace velda::qt
