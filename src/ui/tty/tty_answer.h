// What a line typed at the terminal means: an answer to a message box, a choice in the port
// menu, or a button of the main window.
#pragma once

#include <optional>
#include <string_view>

#include "fw/types.h"

namespace velda::tty {

// A message-box answer: Enter, "o", "ok", "y" or "yes" is OK; "c", "cancel", "n" or "no" is
// Cancel where the box has a Cancel button. Letter case and surrounding blanks do not matter.
// nullopt: the line answers nothing (the prompt is shown again).
std::optional<int> ParseBoxAnswer(std::string_view strLine, fw::UINT uType);

// A choice in a numbered list of nCount entries (numbered from 1): Enter keeps the preselected
// entry, "c" or "cancel" cancels the dialog, a number picks an entry (nPos from 0).
struct CMenuChoice {
  enum class EKind { Keep, Cancel, Pick, Invalid };
  EKind eKind = EKind::Invalid;
  int nPos = -1;
};
CMenuChoice ParseMenuChoice(std::string_view strLine, int nCount);

// The main window's buttons: "p" or "port" is MIDI Port, "c" or "close" is Close, "q" or "quit"
// is the title bar's close box (available in every state).
enum class EWindowCommand { None, MidiPort, Close, CloseBox, Invalid };
EWindowCommand ParseWindowCommand(std::string_view strLine);

}  // namespace velda::tty
