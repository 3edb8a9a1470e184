// Sizes and shapes of the texts the service accepts from its users.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace service {

// The client keeps its settings in buffers of 255 bytes; the password limit only keeps a
// hostile request from making the hash work on megabytes.
constexpr size_t kMaxEmailBytes = 254;
constexpr size_t kMaxPasswordBytes = 1024;
constexpr size_t kMaxCategoryNameBytes = 200;
constexpr size_t kMaxFavoriteNameBytes = 1000;
constexpr size_t kMaxUrlBytes = 4000;
// Whole request bodies, counted as they arrive, chunked ones too: a request is refused as soon
// as its body passes this, and nothing of it is handled.
constexpr size_t kMaxBodyBytes = 64 * 1024;

std::string TrimBlanks(std::string_view text);

// Line breaks and other C0 controls (a tab is allowed) would break the line-based replies.
bool HasControlCharacters(std::string_view text);

// Control bytes (a tab too) and the backslash as \xNN, so that a logged field stays on its line
// and cannot pass for another entry.
std::string EscapeForLog(std::string_view text);

// A plausible address: one '@' with text on both sides, no blanks or controls.
bool LooksLikeEmail(std::string_view text);

}  // namespace service
