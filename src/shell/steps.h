// The installer's vocabulary: step identifiers posted to the main window as WM_COMMAND (lParam 0),
// wait kinds and timers. Every subsystem includes this one header; the ids of the templates and
// their controls come with it from resource.h.
#pragma once

#include "fw/types.h"
#include "shell/resource.h"

namespace velda {

using fw::UINT;

// Steps with a handler in the command map.
constexpr UINT ID_STEP_NEXT_STATEMENT = 10102;
constexpr UINT ID_STEP_SEND_INQUIRY = 10104;
constexpr UINT ID_REPLY_MODE_OFF = 10107;
constexpr UINT ID_REPLY_INQUIRY = 10108;
constexpr UINT ID_STEP_WAIT_TICK = 10121;
constexpr UINT ID_STEP_START_WAIT_TIMER = 10122;
constexpr UINT ID_STEP_STOP_WAIT_TIMER = 10123;
constexpr UINT ID_STEP_LOAD_PACKAGE = 10128;
constexpr UINT ID_STEP_START_SCRIPT = 10129;
constexpr UINT ID_STEP_START_INSTALL = 10130;
constexpr UINT ID_REPLY_BAUD_UP = 10133;
constexpr UINT ID_REPLY_WRITE_BLOCK = 10134;
constexpr UINT ID_REPLY_BLOCK_CHECKSUM = 10135;
constexpr UINT ID_REPLY_DATA_PACKET = 10137;
constexpr UINT ID_REPLY_MODE_ON = 10139;
constexpr UINT ID_REPLY_SET_DEVICE = 10140;
constexpr UINT ID_STEP_BEGIN_BLOCK_DATA = 10144;
constexpr UINT ID_STEP_SEND_DATA_PACKET = 10145;
constexpr UINT ID_STEP_WRITE_BLOCK = 10146;
constexpr UINT ID_STEP_INIT_ALL_PROGRESS = 10148;
constexpr UINT ID_STEP_SHOW_ALL_PROGRESS = 10149;
constexpr UINT ID_STEP_INIT_DATA_PROGRESS = 10151;
constexpr UINT ID_STEP_SEND_BLOCK_CHECKSUM = 10153;
constexpr UINT ID_REPLY_BAUD_RESET = 10154;
constexpr UINT ID_STEP_INSTALL_COMPLETE = 10155;
constexpr UINT ID_STEP_TIMEOUT_END = 10165;
constexpr UINT ID_STEP_ADVANCE_DATA_PROGRESS = 10169;
constexpr UINT ID_STEP_RESEND_DATA_PACKET = 10170;
constexpr UINT ID_STEP_CLOSE_PORTS = 10175;
constexpr UINT ID_STEP_DEVICE_SETTLED = 10176;
constexpr UINT ID_AREA_MATCH = 10178;
constexpr UINT ID_STEP_SEND_AREA_CHECK = 10180;
constexpr UINT ID_REPLY_AREA_CHECK = 10181;
constexpr UINT ID_STEP_COMPARE_AREA = 10182;
constexpr UINT ID_AREA_MISMATCH = 10183;
constexpr UINT ID_REPLY_BLOCK_START = 10300;
constexpr UINT ID_STEP_BEGIN = 10301;
constexpr UINT ID_STEP_READ_BACK_NEXT = 10400;
constexpr UINT ID_STEP_READ_BACK_COMPARE = 10401;
constexpr UINT ID_MIDI_PORT = 32771;
constexpr UINT ID_MIDI_IN_DATA = 33006;

// Markers: posted where the installation passes a point, handled by nobody.
constexpr UINT ID_MARK_PACKAGE_LOADED = 10106;
constexpr UINT ID_MARK_MODEL_NAME = 10110;
constexpr UINT ID_MARK_REPLY_05C = 10136;
constexpr UINT ID_MARK_LINE_READ = 10147;
constexpr UINT ID_MARK_END_1 = 10156;
constexpr UINT ID_MARK_END_2 = 10158;
constexpr UINT ID_MARK_END_3 = 10164;
constexpr UINT ID_MARK_END_4 = 10166;
constexpr UINT ID_MARK_UPLOAD_FAILED = 10161;
constexpr UINT ID_MARK_BLOCK_DATA = 10167;
constexpr UINT ID_MARK_RESENT = 10171;
constexpr UINT ID_MARK_PORTS_CHANGED = 10172;
constexpr UINT ID_MARK_INQUIRY_SENT = 10184;
constexpr UINT ID_MARK_INQUIRY_OK = 10185;
constexpr UINT ID_MARK_LOAD_PACKAGE = 10186;
constexpr UINT ID_MARK_MODE_ON_SENT = 10187;
constexpr UINT ID_MARK_MODE_ON_OK = 10188;
constexpr UINT ID_MARK_BAUD_UP_SENT = 10189;
constexpr UINT ID_MARK_BAUD_UP_REPLY = 10190;
constexpr UINT ID_MARK_SET_DEVICE_SENT = 10191;
constexpr UINT ID_MARK_SET_DEVICE_REPLY = 10192;
constexpr UINT ID_MARK_BLOCK_START_SENT = 10193;
constexpr UINT ID_MARK_BLOCK_START_REPLY = 10194;
constexpr UINT ID_MARK_WRITE_BLOCK_SENT = 10195;
constexpr UINT ID_MARK_WRITE_BLOCK_REPLY = 10196;
constexpr UINT ID_MARK_CHECKSUM_SENT = 10197;
constexpr UINT ID_MARK_CHECKSUM_REPLY = 10198;
constexpr UINT ID_MARK_BAUD_RESET_SENT = 10201;
constexpr UINT ID_MARK_BAUD_RESET_REPLY = 10202;
constexpr UINT ID_MARK_AREA_CHECK_SENT = 10203;
constexpr UINT ID_MARK_AREA_CHECK_REPLY = 10204;
constexpr UINT ID_MARK_DATA_FILE_OPENED = 10205;
constexpr UINT ID_MIDI_IN_STATUS = 33007;

// Wait kinds: the reply the installer waits for (m_nWaitKind).
constexpr int WAIT_INQUIRY = 1;
constexpr int WAIT_MODE_ON = 2;
constexpr int WAIT_BAUD_UP = 3;
constexpr int WAIT_SET_DEVICE = 4;
constexpr int WAIT_BLOCK_START = 5;
constexpr int WAIT_DATA_PACKET = 6;
constexpr int WAIT_WRITE_BLOCK = 7;
constexpr int WAIT_BLOCK_CHECKSUM = 8;
constexpr int WAIT_MODE_OFF = 9;
constexpr int WAIT_BAUD_RESET = 10;
constexpr int WAIT_FINAL_RESET = 11;
constexpr int WAIT_AREA_CHECK = 13;
constexpr int WAIT_NONE = 14;

// Limits of the waits in 500 ms ticks.
constexpr int WAIT_TICKS_INQUIRY = 30;
constexpr int WAIT_TICKS_DEFAULT = 240;
constexpr int WAIT_TICKS_WRITE_BLOCK = 127;

// Timers of the main window.
constexpr UINT IDT_REPLY_WAIT = 1;
constexpr UINT IDT_START = 2;
constexpr UINT IDT_DEVICE_SETTLE = 3;
constexpr UINT REPLY_WAIT_PERIOD_MS = 500;
constexpr UINT START_DELAY_MS = 1500;
constexpr UINT CANCELLED_START_DELAY_MS = 10;
constexpr UINT DEVICE_SETTLE_MS = 10000;

// Port masks of ClosePorts and ReopenPorts.
constexpr UINT PORT_IN = 1;
constexpr UINT PORT_OUT = 2;

}  // namespace velda
