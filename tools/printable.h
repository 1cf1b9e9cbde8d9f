// printable.h -- text from a file or the command line, made safe to quote in a message on a terminal
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text with everything a terminal would act on written as an escape:
// control characters (C0, DEL, C1) and bytes that are no UTF-8 as \xNN
// (\n, \r and \t as themselves), the backslash doubled, bidirectional
// overrides as \u{NNNN}. Text past the first `most` bytes is cut, and the
// cut says how many bytes were left out.
std::string printable(std::string_view text, std::size_t most = 200);
