#pragma once

#include <string>

namespace velmorant {

// The GUID text that means "none".
inline constexpr const char* kNullGuid = "00000000-0000-0000-0000-000000000000";

// A new random GUID as 36 upper-case characters without braces; kNullGuid on failure.
std::string NewGuidText();

}  // namespace velmorant
