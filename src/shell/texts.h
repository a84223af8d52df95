// The installer's own texts, exactly as the user sees them.
#pragma once

#include "shell/version.h"

namespace velda {

inline constexpr const char* TXT_APP_TITLE = "VELDA Installer";
inline constexpr const char* TXT_WINDOW_TITLE = VELDA_WINDOW_TITLE;

inline constexpr const char* TXT_QUESTION_1 =
    "Make sure the instrument and \r\ncomputer are properly \r\nconnected via USB cable.";
inline constexpr const char* TXT_QUESTION_2 = "Please close all currently \r\nopen applications.";
inline constexpr const char* TXT_QUESTION_3 =
    "After starting the installation, \r\nplease wait for it to finish completely. \r\n"
    "If you interrupt the installation, \r\nthe Velda will be unable to start.  ";
inline constexpr const char* TXT_QUESTION_4 = "Click OK to start VELDA installation.";

inline constexpr const char* TXT_CANT_OPEN_DEFAULT = "Can't open \r\nHALVEN USB MIDI Driver.";
inline constexpr const char* TXT_CANT_OPEN_CHOSEN = "Can't open MIDI Driver.";
inline constexpr const char* TXT_SCRIPT_ERROR = " Script Error ";
inline constexpr const char* TXT_TIME_OUT = " \r\n Time Out   \r\n";
inline constexpr const char* TXT_REFUSED = "I have a Error. \r\n Close Install Jub.";
inline constexpr const char* TXT_COMPLETED =
    "Installation is completed.\r\nPlease turn the power switch of the instrument off.";
inline constexpr const char* TXT_DATA_FILE_OPEN_ERROR = " Data File Open Error ";
inline constexpr const char* TXT_NAMELESS_ENTRY_CHECK = "Error!!\n\r Please Close This Application.";
inline constexpr const char* TXT_NAMELESS_ENTRY_UPDATE = "Error!!\n\r Pleas Close This Application.";

inline constexpr const char* TXT_STATUS_CHANGE_MODE = "Change UpDate Mode.";
inline constexpr const char* TXT_STATUS_MIDI_ERROR = "MIDI Error.";
inline constexpr const char* TXT_STATUS_START = "Start VELDA UpDate.";
inline constexpr const char* TXT_STATUS_OPEN_DATA = "Open Data File.";
inline constexpr const char* TXT_STATUS_UPLOAD = "Data UpLoad.";
inline constexpr const char* TXT_STATUS_WRITE_BLOCK = "Write Block.";
inline constexpr const char* TXT_STATUS_BLOCK_SUM_OK = "Block Check SUM OK.";

inline constexpr const char* DEFAULT_IN_PORT = "HALVEN USB IN 0-1";
inline constexpr const char* DEFAULT_OUT_PORT = "HALVEN USB OUT 0-1";
inline constexpr const char* DEFAULT_KEYWORD = "#5168_1994KESTRA";
inline constexpr const char* PACKAGE_NAME = "velda.uxs";
inline constexpr const char* INSTANCE_LOCK_NAME = "hSornHandle";

}  // namespace velda
