// Package loading and the package cursor operations of the installer dialog.
#include <algorithm>
#include <span>

#include "fw/kernel.h"
#include "fw/trace.h"
#include "fw/wnd.h"
#include "script/package_check.h"
#include "script/package_reader.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

std::span<const BYTE> PackageImage(const std::unique_ptr<BYTE[]>& pPackage, UINT nSize) {
  if (!pPackage) {
    return {};
  }
  return {pPackage.get(), nSize};
}

std::string PathOrDefault(const std::string& strPath) { return strPath.empty() ? std::string(PACKAGE_NAME) : strPath; }

// A trace line holds no line breaks.
std::string OneLine(std::string str) {
  std::replace(str.begin(), str.end(), '\r', ' ');
  std::replace(str.begin(), str.end(), '\n', ' ');
  return str;
}

}  // namespace

void CInstallerDlg::OnLoadPackage() {
  SetStatus(TXT_STATUS_OPEN_DATA);

  // Everything is checked before anything is replaced: a package that cannot be used leaves the
  // dialog as it was, and the run stops here.
  const fw::CFileResult file = fw::ReadWholeFile(PathOrDefault(m_strPackagePath));
  if (!file.bOk) {
    ReportPackageError((file.bOpened ? "cannot be read:\r\n" : "cannot be opened:\r\n") + file.strError);
    return;
  }
  const CPackageCheck check = CheckPackage(file.aData);
  if (!check.IsSound()) {
    ReportPackageError("is malformed:\r\n" + check.strDescription);
    return;
  }

  m_nPackageSize = static_cast<UINT>(file.aData.size());
  m_pPackage = std::make_unique<BYTE[]>(m_nPackageSize);
  std::copy(file.aData.begin(), file.aData.end(), m_pPackage.get());

  m_nPackagePos = 0;
  const UINT nScriptLen = ReadU32();
  m_nEntriesStart = nScriptLen + 4;
  auto pScript = std::make_unique<BYTE[]>(nScriptLen);
  m_nScriptLen = CopyBytes(pScript.get(), nScriptLen);
  InvertBytes({pScript.get(), m_nScriptLen});
  m_strScript = CString(reinterpret_cast<const char*>(pScript.get()), m_nScriptLen);
  pScript.reset();
  ResetEntries();
  m_nScriptPos = 0;

  PostStep(ID_MARK_LOAD_PACKAGE);
  PostStep(ID_MARK_PACKAGE_LOADED);
  PostStep(ID_STEP_START_SCRIPT);
  PostStep(ID_STEP_INIT_ALL_PROGRESS);
}

UINT CInstallerDlg::ReadU32() {
  UINT nValue = 0;
  if (!ReadBigEndianU32(PackageImage(m_pPackage, m_nPackageSize), m_nPackagePos, nValue)) {
    // A length cut off by the end: nothing after it can be read either.
    m_nPackagePos = m_nPackageSize;
  }
  return nValue;
}

UINT CInstallerDlg::CopyBytes(BYTE* pDst, UINT n) {
  return CopyPackageBytes(PackageImage(m_pPackage, m_nPackageSize), m_nPackagePos, pDst, n);
}

BOOL CInstallerDlg::FindEntry(const CString& strName) {
  const CEntryLookup found = FindPackageEntry(PackageImage(m_pPackage, m_nPackageSize), m_nEntriesStart, strName);
  m_nPackagePos = found.nPos;
  return found.bFound ? fw::TRUE : fw::FALSE;
}

void CInstallerDlg::ResetEntries() {
  for (CDataEntry& entry : m_aEntry) {
    entry.strName.Empty();
    entry.nSize = 0;
    entry.pData.reset();  // an empty slot keeps no stale bytes
  }
}

void CInstallerDlg::ReportPackageError(const std::string& strWhat) {
  const std::string strText = "Package file " + PathOrDefault(m_strPackagePath) + " " + strWhat;
  TraceNote(OneLine(strText));
  NoteOutcome(EOutcome::PackageError);
  fw::AfxMessageBox(CString(std::string_view(strText)), fw::MB_OK | fw::MB_ICONEXCLAMATION);
}

}  // namespace velda
