// PLACEHOLDER: replaced by the real implementation.
#include "midi/midi_ctrl.h"

namespace velda {

class CMidiInPort {};
class CMidiOutPort {};

CMidiCtrl::CMidiCtrl() = default;
CMidiCtrl::~CMidiCtrl() = default;
BOOL CMidiCtrl::OpenInByName(const CString& /*strName*/, UINT /*nDataId*/, UINT /*nStatusId*/) { return 0; }
BOOL CMidiCtrl::OpenOutByName(const CString& /*strName*/) { return 0; }
BOOL CMidiCtrl::OpenInByNumber(int /*nDevice*/, UINT /*nDataId*/, UINT /*nStatusId*/) { return 0; }
BOOL CMidiCtrl::OpenOutByNumber(int /*nDevice*/) { return 0; }
void CMidiCtrl::ClosePorts(UINT /*nWhich*/) {}
int CMidiCtrl::SendLongMsg(const BYTE* /*pMsg*/, UINT /*nLength*/) { return 0; }
int CMidiCtrl::GetInByte() { return -1; }
BOOL CMidiCtrl::SelectPorts(int& /*nIn*/, int& /*nOut*/) { return 0; }

}  // namespace velda
