// Ids of the dialog templates, their controls and the icon. Plain #defines, so that a Windows
// resource script can include this header as well as the front ends and the port objects.
#pragma once

#define IDD_INSTALLER 102
#define IDR_MAINFRAME 128
#define IDD_PORT_SELECT 129
#define IDC_DEVICE 1000
#define IDC_IN_PORT 1001
#define IDC_OUT_PORT 1002
#define IDC_MIDI_PORT 1003
#define IDC_PROGRESS_ALL 1004
#define IDC_PROGRESS_DATA 1005
#define IDC_STATUS 1007
