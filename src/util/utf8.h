#pragma once
// Reading UTF-8 text back into code points.
#include <string_view>

namespace tabrix {

inline constexpr char32_t kNoCodePoint = 0xFFFFFFFF;

// The code point of the UTF-8 sequence at p, moving p past it; kNoCodePoint
// (and p moved one byte) for a byte that starts no valid sequence.
char32_t nextCodePoint(const char*& p, const char* end);

bool isValidUtf8(std::string_view text);

}  // namespace tabrix
