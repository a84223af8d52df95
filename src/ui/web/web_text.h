// How the page front end hands texts to the page: as UTF-8 inside JSON strings.
#pragma once

#include <string>
#include <string_view>

#include "fw/types.h"

namespace velda::web {

// Text for the page: valid UTF-8 passes unchanged; otherwise the bytes are read as code page 1252
// (the installer's own texts are in the ANSI code page).
std::string PageText(std::string_view strBytes);

// A JSON string literal (with its quotes) of PageText(strBytes).
std::string JsonString(std::string_view strBytes);

}  // namespace velda::web
