// How the terminal front end turns what a window shows into text: box texts split into lines,
// progress bars drawn with their percentage and counts, texts made printable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fw/controls.h"
#include "fw/types.h"

namespace velda::tty {

// A box text as the lines it shows: CR LF, LF CR, a lone LF and a lone CR each break the line
// once. Everything else, blanks at either end included, stays as written. A break at the very end
// gives a last, empty line, as the box shows one.
std::vector<std::string> SplitBoxLines(std::string_view strText);

// Text ready for a UTF-8 terminal or JSON: valid UTF-8 passes unchanged; otherwise the bytes are
// read as code page 1252 (the installer's own texts are in the ANSI code page). Control
// characters other than tab become U+FFFD so that they cannot move the cursor.
std::string DisplayText(std::string_view strBytes);

// How far a bar is filled, 0 to 100, as the control draws it: the position within the range.
// An empty or inverted range shows as 0.
int ProgressPercent(const fw::CProgressState& st);

// "[#######-------]" of nWidth cells between the brackets, filled in proportion to the position.
std::string FormatBar(const fw::CProgressState& st, int nWidth);

// What a bar stands at: percentage, then the position and the upper limit with their unit, e.g.
// " 40%  980/2451 bytes" (the ranges the installer gives start at 0 or 1).
std::string FormatBarCounts(const fw::CProgressState& st, std::string_view strUnit);

// One line of a bar: label, bar and counts, e.g. "Data [####------]  40%  980/2451 bytes".
std::string FormatBarLine(std::string_view strLabel, const fw::CProgressState& st, int nWidth,
                          std::string_view strUnit);

// The buttons and icon of a message-box type.
enum class EBoxButtons { Ok, OkCancel };
EBoxButtons BoxButtonsOf(fw::UINT uType);
// "ok" or "ok-cancel".
const char* BoxButtonsName(EBoxButtons eButtons);
// "OK" or "Cancel" for an answer, "answer <n>" for anything else.
std::string AnswerName(int nAnswer);

}  // namespace velda::tty
