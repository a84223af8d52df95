// Installer texts for display: bytes in the ANSI code page (or UTF-8 names from the system's MIDI
// layer) become QString, and the line breaks of message-box texts become what Qt draws as one.
#pragma once

#include <QString>

#include <string_view>

namespace velda::qt {

// Bytes that are valid UTF-8 are read as UTF-8 (plain ASCII included); anything else as the
// single-byte Western code page 1252, so no byte is ever lost or drawn as a replacement mark.
QString AnsiToQString(std::string_view sv);

// CR LF, LF CR, a lone CR and a lone LF each become one "\n". Blanks are kept as they are.
QString BoxText(std::string_view sv);

}  // namespace velda::qt
