// Package loading and the package cursor operations of the installer dialog.
#include <algorithm>
#include <new>
#include <span>
#include <vector>

#include "fw/kernel.h"
#include "fw/trace.h"
#include "fw/wnd.h"
#include "script/package_check.h"
#include "script/package_reader.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

std::span<const BYTE> PackageImage(const std::vector<BYTE>& aPackage, UINT nSize) {
  return {aPackage.data(), std::min<std::size_t>(aPackage.size(), nSize)};
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
  // A package too large for the memory left is a package that cannot be read, not a crash.
  try {
    LoadPackage();
  } catch (const std::bad_alloc&) {
    ReportPackageError("cannot be read:\r\nthere is not enough memory to hold it");
  }
}

void CInstallerDlg::LoadPackage() {
  // Everything is checked before anything is replaced: a package that cannot be used leaves the
  // dialog as it was, and the run stops here.
  const std::string strPath = PathOrDefault(m_strPackagePath);
  fw::CFileResult file = m_fnReadPackage ? m_fnReadPackage(strPath) : fw::ReadWholeFile(strPath);
  if (!file.bOk) {
    ReportPackageError((file.bOpened ? "cannot be read:\r\n" : "cannot be opened:\r\n") + file.strError);
    return;
  }
  const CPackageCheck check = CheckPackage(file.aData);
  if (!check.IsSound()) {
    ReportPackageError("is malformed:\r\n" + check.strDescription);
    return;
  }

  // The script is decoded before the image is taken over, so that a failure here leaves the
  // previous package in place.
  UINT nPos = 0;
  UINT nScriptLen = 0;
  ReadBigEndianU32(file.aData, nPos, nScriptLen);
  std::string strScript(file.aData.begin() + nPos, file.aData.begin() + nPos + nScriptLen);
  InvertBytes({reinterpret_cast<BYTE*>(strScript.data()), strScript.size()});

  ResetEntries();                      // before the image they point into goes
  m_aPackage = std::move(file.aData);  // the one copy of the package: entries point into it
  m_nPackageSize = static_cast<UINT>(m_aPackage.size());
  m_nPackagePos = nPos + nScriptLen;
  m_nEntriesStart = nScriptLen + 4;
  m_nScriptLen = nScriptLen;
  m_strScript = CString(std::string_view(strScript));
  m_nScriptPos = 0;

  PostStep(ID_MARK_LOAD_PACKAGE);
  PostStep(ID_MARK_PACKAGE_LOADED);
  PostStep(ID_STEP_START_SCRIPT);
  PostStep(ID_STEP_INIT_ALL_PROGRESS);
}

UINT CInstallerDlg::ReadU32() {
  UINT nValue = 0;
  if (!ReadBigEndianU32(PackageImage(m_aPackage, m_nPackageSize), m_nPackagePos, nValue)) {
    // A length cut off by the end: nothing after it can be read either.
    m_nPackagePos = m_nPackageSize;
  }
  return nValue;
}

UINT CInstallerDlg::CopyBytes(BYTE* pDst, UINT n) {
  return CopyPackageBytes(PackageImage(m_aPackage, m_nPackageSize), m_nPackagePos, pDst, n);
}

BOOL CInstallerDlg::FindEntry(const CString& strName) {
  const CEntryLookup found = FindPackageEntry(PackageImage(m_aPackage, m_nPackageSize), m_nEntriesStart, strName);
  m_nPackagePos = found.nPos;
  return found.bFound ? fw::TRUE : fw::FALSE;
}

void CInstallerDlg::ResetEntries() {
  for (CDataEntry& entry : m_aEntry) {
    entry.strName.Empty();
    entry.nSize = 0;
    entry.pData = nullptr;  // an empty slot points at no stale bytes
  }
}

void CInstallerDlg::ReportPackageError(const std::string& strWhat) {
  const std::string strText = "Package file " + PathOrDefault(m_strPackagePath) + " " + strWhat;
  TraceNote(OneLine(strText));
  NoteOutcome(EOutcome::PackageError);
  fw::AfxMessageBox(CString(std::string_view(strText)), fw::MB_OK | fw::MB_ICONEXCLAMATION);
}

}  // namespace velda
