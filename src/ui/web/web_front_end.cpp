#include "ui/web/web_front_end.h"

#include <emscripten.h>

#include <string>

#include "fw/box_icon_name.h"
#include "ui/web/web_text.h"

// The page's side (site/velda-page.js defines window.veldaUi).
// clang-format off
EM_JS(void, velda_ui_call, (const char* pszMethod, const char* pszJson), {
  var ui = globalThis.veldaUi;
  var method = UTF8ToString(pszMethod);
  if (ui && ui[method]) ui[method](JSON.parse(UTF8ToString(pszJson)));
});
// clang-format on

namespace velda::web {

namespace {

CWebFrontEnd* g_pCurrent = nullptr;

const char* KindName(fw::EControlKind eKind) {
  switch (eKind) {
    case fw::EControlKind::Button:
      return "button";
    case fw::EControlKind::Static:
      return "static";
    case fw::EControlKind::Edit:
      return "edit";
    case fw::EControlKind::Progress:
      return "progress";
    case fw::EControlKind::Combo:
      return "combo";
  }
  return "static";
}

const char* Bool(bool b) { return b ? "true" : "false"; }

std::string Num(long long n) { return std::to_string(n); }

std::string ControlTemplateJson(const fw::CControlTemplate& c) {
  return "{\"id\":" + Num(c.nId) + ",\"kind\":\"" + KindName(c.eKind) +
         "\",\"text\":" + JsonString(c.strText.GetString()) + ",\"x\":" + Num(c.x) + ",\"y\":" + Num(c.y) +
         ",\"cx\":" + Num(c.cx) + ",\"cy\":" + Num(c.cy) + ",\"visible\":" + Bool(c.bVisible) +
         ",\"enabled\":" + Bool(c.bEnabled) + ",\"default\":" + Bool(c.bDefault) + "}";
}

void Call(const char* pszMethod, const std::string& strJson) { velda_ui_call(pszMethod, strJson.c_str()); }

}  // namespace

CWebFrontEnd::CWebFrontEnd(fw::CMsgLoop& loop) : m_loop(loop) { g_pCurrent = this; }

CWebFrontEnd::~CWebFrontEnd() {
  if (g_pCurrent == this) g_pCurrent = nullptr;
}

CWebFrontEnd* CWebFrontEnd::Current() { return g_pCurrent; }

void CWebFrontEnd::OnPageInput(EPageInput eKind, int nWnd, int nId, int nValue) {
  const auto hWnd = static_cast<fw::HWND>(nWnd);
  switch (eKind) {
    case EPageInput::Click:
      m_loop.PostInput(fw::CInputEvent::Click(hWnd, nId));
      break;
    case EPageInput::Close:
      m_loop.PostInput(fw::CInputEvent::Close(hWnd));
      break;
    case EPageInput::ComboSel:
      m_loop.PostInput(fw::CInputEvent::ComboSel(hWnd, nId, nValue));
      break;
    case EPageInput::BoxAnswer:
      m_loop.PostInput(fw::CInputEvent::BoxAnswer(nId, nValue));
      break;
  }
}

void CWebFrontEnd::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  std::string strJson = "{\"hwnd\":" + Num(static_cast<long long>(hWnd)) + ",\"id\":" + Num(tmpl.nId) +
                        ",\"caption\":" + JsonString(tmpl.strCaption.GetString()) + ",\"cx\":" + Num(tmpl.cx) +
                        ",\"cy\":" + Num(tmpl.cy) + ",\"closeBox\":" + Bool(tmpl.bSystemMenu) + ",\"controls\":[";
  bool bFirst = true;
  for (const fw::CControlTemplate& c : tmpl.aControls) {
    if (!bFirst) strJson += ',';
    bFirst = false;
    strJson += ControlTemplateJson(c);
  }
  strJson += "]}";
  Call("windowCreated", strJson);
}

void CWebFrontEnd::OnWindowShown(fw::HWND hWnd, bool bShow) {
  Call("windowShown", "{\"hwnd\":" + Num(static_cast<long long>(hWnd)) + ",\"show\":" + Bool(bShow) + "}");
}

void CWebFrontEnd::OnWindowDestroyed(fw::HWND hWnd) {
  Call("windowDestroyed", "{\"hwnd\":" + Num(static_cast<long long>(hWnd)) + "}");
}

void CWebFrontEnd::OnWindowIcon(fw::HWND /*hWnd*/, int /*nIconId*/, bool /*bBig*/) {
  // The page shows the one icon of the program (its favicon and header) from the start.
}

void CWebFrontEnd::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  std::string strJson = "{\"hwnd\":" + Num(static_cast<long long>(hWnd)) + ",\"id\":" + Num(ctl.tmpl.nId) +
                        ",\"kind\":\"" + KindName(ctl.tmpl.eKind) +
                        "\",\"text\":" + JsonString(ctl.strText.GetString()) + ",\"enabled\":" + Bool(ctl.bEnabled) +
                        ",\"visible\":" + Bool(ctl.bVisible) + ",\"lower\":" + Num(ctl.progress.nLower) +
                        ",\"upper\":" + Num(ctl.progress.nUpper) + ",\"pos\":" + Num(ctl.progress.nPos) +
                        ",\"sel\":" + Num(ctl.nCurSel) + ",\"items\":[";
  for (std::size_t i = 0; i < ctl.aItems.size(); ++i) {
    if (i != 0) strJson += ',';
    strJson += JsonString(ctl.aItems[i].GetString());
  }
  strJson += "]}";
  Call("controlChanged", strJson);
}

void CWebFrontEnd::ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText,
                                  const fw::CString& strCaption, fw::UINT uType) {
  const bool bOkCancel = (uType & fw::MB_TYPEMASK) == fw::MB_OKCANCEL;
  Call("showBox", "{\"box\":" + Num(nBoxId) + ",\"owner\":" + Num(static_cast<long long>(hOwner)) +
                      ",\"text\":" + JsonString(strText.GetString()) +
                      ",\"caption\":" + JsonString(strCaption.GetString()) + ",\"buttons\":\"" +
                      (bOkCancel ? "ok-cancel" : "ok") + "\",\"icon\":\"" + fw::BoxIconName(uType) + "\"}");
}

void CWebFrontEnd::CloseMessageBox(int nBoxId, int nAnswer) {
  Call("closeBox", "{\"box\":" + Num(nBoxId) + ",\"answer\":" + Num(nAnswer) + "}");
}

}  // namespace velda::web

// The page's input: kind as EPageInput, the window, the control or box, the value.
extern "C" EMSCRIPTEN_KEEPALIVE void velda_web_input(int nKind, int nWnd, int nId, int nValue) {
  if (velda::web::CWebFrontEnd* p = velda::web::CWebFrontEnd::Current()) {
    p->OnPageInput(static_cast<velda::web::EPageInput>(nKind), nWnd, nId, nValue);
  }
}
