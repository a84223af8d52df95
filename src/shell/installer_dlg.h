// The main dialog: the whole installation state and every step handler. Its member functions
// are defined in the folder of the subsystem that owns them (shell/, script/, protocol/, midi/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fw/cstring.h"
#include "fw/kernel.h"
#include "fw/types.h"
#include "fw/wnd.h"
#include "protocol/block_plan.h"
#include "protocol/read_back.h"
#include "protocol/reply_assembler.h"
#include "protocol/reply_ring.h"
#include "script/data_entry.h"
#include "shell/outcome.h"
#include "shell/steps.h"

namespace velda {

class CMidiCtrl;

using fw::BOOL;
using fw::BYTE;
using fw::CString;
using fw::DWORD_PTR;
using fw::LPARAM;
using fw::UINT;
using fw::UINT_PTR;
using fw::WPARAM;

constexpr UINT RX_BUF_SIZE = 4691;      // the longest reply: an area reply carrying 4096 bytes
constexpr UINT TX_BUF_SIZE = 0x100000;  // 1 MiB
constexpr UINT AREA_BUF_SIZE = 4096;
constexpr UINT PACKET_DATA_SIZE = 2450;

// A progress bar of the dialog, driven with progress-control messages.
class CProgressCtrl {
 public:
  void Bind(fw::CWnd* pWnd, int nId) {
    m_pWnd = pWnd;
    m_nId = nId;
  }
  fw::LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_pWnd != nullptr ? m_pWnd->SendDlgItemMessage(m_nId, msg, wParam, lParam) : 0;
  }

 private:
  fw::CWnd* m_pWnd = nullptr;
  int m_nId = 0;
};

class CInstallerDlg : public fw::CDialog {
 public:
  CInstallerDlg();
  ~CInstallerDlg() override;

  // Where the package is read from; "velda.uxs" in the current folder unless a program says so.
  void SetPackagePath(const std::string& strPath) { m_strPackagePath = strPath; }
  const std::string& PackagePath() const { return m_strPackagePath; }
  // --verify: read back what was written before update mode ends, and compare.
  void SetVerify(bool bVerify) { m_bVerify = bVerify; }

  // How the installation ended so far; every ending and failure notes itself here.
  void NoteOutcome(EOutcome eOutcome);
  EOutcome Outcome() const { return m_eOutcome; }
  void SetOutcomeObserver(std::function<void(EOutcome)> fn) { m_fnOutcome = std::move(fn); }

  // ---- Installer state (declaration order as the dialog's field list) ----
  std::unique_ptr<BYTE[]> m_pRxBuf;    // reply being handled; non-null once the start was confirmed
  std::unique_ptr<BYTE[]> m_pTxBuf;    // the last data packet, kept for resends
  std::unique_ptr<BYTE[]> m_pAreaBuf;  // bytes decoded from an area reply
  CBlockPlan m_aPlan[ENTRY_SLOTS];
  CDataEntry m_aEntry[ENTRY_SLOTS];
  UINT m_nPacketOffset = 0;
  UINT m_nPacketSize = 0;
  UINT m_nLastPacketSize = 0;
  UINT m_nPacketCount = 0;
  UINT m_nPacketsSent = 0;
  std::unique_ptr<CMidiCtrl> m_pMidi;
  std::vector<BYTE> m_aPackage;  // the package file as read; the data entries point into it
  CString m_strScript;
  CString m_strKeyword;
  CString m_strLine;
  UINT m_nBlockSum = 0;
  int m_nDevice = 0;
  UINT m_nTxLen = 0;
  UINT m_nUploadBytes = 0;
  UINT m_nPackageSize = 0;
  UINT m_nEntriesStart = 0;
  UINT m_nBlockLen = 0;
  UINT m_nScriptLen = 0;
  UINT m_nScriptPos = 0;
  int m_nCurEntry = 0;
  BOOL m_bAcceptReplies = 0;
  int m_nWaitKind = WAIT_NONE;
  int m_nSavedWaitKind = WAIT_NONE;
  int m_nWaitTicks = 0;
  UINT m_nPackagePos = 0;
  std::uint8_t m_nRetriesLeft = 0;
  bool m_bMidiOk = false;
  UINT m_nTimerCount = 0;
  bool m_bDevChangePending = false;
  int m_nCheckEntry = 0;
  UINT m_nCheckOffset = 0;
  UINT m_nCheckAddress = 0;
  UINT m_nCheckLength = 0;
  bool m_bAreaCheck = false;
  std::uint8_t m_nSkipState = 0;
  CProgressCtrl m_ctlData;
  CProgressCtrl m_ctlAll;
  CString m_strStatus;
  int m_hIcon = 0;
  BOOL m_bEndAfterInstall = 0;  // set at start-up, read nowhere

  // ---- Beyond the field list: reply assembly and area-reply bookkeeping ----
  CReplyAssembler m_rxAssembler;   // bytes of a reply still being received
  CReplyRing m_replyRing;          // dispatched replies whose step has not run yet
  UINT m_nRxLen = 0;               // length of the reply in m_pRxBuf
  UINT m_nAreaBytes = 0;           // bytes the last area reply carried
  bool m_bAreaReplyTaken = false;  // the pending area request was answered already
  // How the package file is read: the file system unless a test puts a failing reader here.
  std::function<fw::CFileResult(const std::string&)> m_fnReadPackage;

  // ---- Beyond the field list: read-back verification (--verify) ----
  bool m_bVerify = false;                 // asked for; off by default
  std::vector<CWrittenRange> m_aWritten;  // written since update mode went on, not yet read back
  bool m_bReadingBack = false;            // the replies belong to the read-back, not the script
  bool m_bReadBackThenModeOff = false;    // what follows: SET_UPDATE_MODE_OFF, or the end
  std::size_t m_nReadBackRange = 0;       // the range being read back
  UINT m_nReadBackDone = 0;               // bytes of that range read back
  std::uint64_t m_nReadBackBytes = 0;     // bytes read back in all
  int m_nReadBackDevice = 0;              // the device the instrument has selected
  CWrittenRange m_readBackChunk;          // the area asked for

  // ---- Shell: dispatcher (steps 10122, 10123, 10130, 10301) ----
  int PostStep(UINT nId, LPARAM lParam = 0);
  void ArmWait(int nKind, int nLimit);
  void EndWait();
  void EnableButtons();
  void DisableButtons();
  void StartDelayTimer();
  void ShowScriptError();
  void OnStartWaitTimer();
  void OnStopWaitTimer();
  void OnStartInstall();
  void OnStepBegin();
  void SetStatus(const char* pszText);

  // ---- Shell: start-up and window ----
  BOOL OnInitDialog() override;
  void OnInitAllProgress();
  void OnShowAllProgress();
  void OnInitDataProgress();
  void OnAdvanceDataProgress();
  void OnPaint();
  int OnQueryDragIcon() const { return m_hIcon; }

  // ---- Shell: endings and port recovery ----
  void OnDeviceSettled();
  void OnClosePorts();
  void OnInstallComplete();
  void OnTimeoutEnd();
  void ClosePortsStep(UINT nMask);
  void ReopenPorts(UINT nMask);

  // ---- Script: package ----
  void OnLoadPackage();
  void LoadPackage();
  UINT ReadU32();
  UINT CopyBytes(BYTE* pDst, UINT n);
  BOOL FindEntry(const CString& strName);
  void ResetEntries();

  // ---- Script: tokenizer ----
  int ReadLine();
  void SkipLine();
  int ReadToken(CString& strToken);
  int LookupKeyword(const CString& strToken) const;
  static UINT HexToInt(const CString& strText);

  // ---- Script: interpreter ----
  void OnStartScript();
  void OnNextStatement();
  void OnCompareArea();
  void OnAreaMatch();
  void OnAreaMismatch();
  void ExecKeyword();
  void ExecModelName();
  void ExecSetUpdateDevice();
  void ExecOpenDataFile();
  void ExecAreaCheck();

  // ---- Protocol: senders ----
  void SendInquiry();
  void SendModeOn();
  void SendBaudUp();
  void SendSetDevice(int nDevice);
  void SendBlockStart(const CString& strDigits);
  void SendWriteBlock();
  void SendBlockChecksum();
  void SendModeOff();
  void SendBaudReset();
  void SendAreaCheck();

  // ---- Protocol: read-back verification ----
  bool StartReadBack(bool bThenModeOff);
  void OnReadBackNext();
  void OnReadBackCompare();
  void NoteWrittenBlock(UINT nAddress, UINT nLength);
  UINT ResumeStep() const { return m_bReadingBack ? ID_STEP_READ_BACK_NEXT : ID_STEP_NEXT_STATEMENT; }

  // ---- Protocol: replies, time-outs, resends ----
  void OnWaitTick();
  void OnMidiInData();
  void DispatchReply(const std::vector<BYTE>& aMsg);
  bool TakeReply();
  void OnReplyInquiry();
  void OnReplyModeOn();
  void OnReplyModeOff();
  void OnReplyBaudUp();
  void OnReplySetDevice();
  void OnReplyBlockStart();
  void OnReplyDataPacket();
  void OnReplyWriteBlock();
  void OnReplyBlockChecksum();
  void OnReplyBaudReset();
  void OnReplyAreaCheck();
  void ResendDataPacket();
  void FinalReset();
  void Refuse(UINT nMarker);

  // ---- Protocol: block upload ----
  void ExecUpdateBlock();
  void ExecUpdateDevice();
  void ExecUpdateArea();
  void NextBlock();
  void BeginBlockData();
  void SendDataPacket();
  int NextDataByte(int nEntry);

  // ---- MIDI Port ----
  void OnMidiPort();

 protected:
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR nIDEvent) override;
  BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData) override;
  void OnDestroy() override;
  void DoDataExchange(bool bSave) override;

 private:
  // A package that cannot be used: the box names the file and the fault; the run stops.
  void ReportPackageError(const std::string& strWhat);

  std::string m_strPackagePath;
  EOutcome m_eOutcome = EOutcome::None;
  bool m_bEntryMissing = false;  // this run showed " Data File Open Error " for an entry
  std::function<void(EOutcome)> m_fnOutcome;
};

}  // namespace velda
