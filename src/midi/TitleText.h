// Song titles are the file's raw bytes; for showing they are decoded to UTF-8.
//
// Threads: any; nothing is shared.
#pragma once

#include <cstddef>
#include <string>

namespace zeblo {

// The bytes as they are when they are valid UTF-8, else decoded from Shift-JIS (CP932), else
// from Latin-1: always valid UTF-8.
std::string TitleAsUtf8(const std::string& raw);

// Length of the UTF-8 sequence at `i`, or 0 when it is not a valid one.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i);

}  // namespace zeblo
