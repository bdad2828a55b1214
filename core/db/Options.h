#pragma once

#include <string>

namespace velmorant {

// Reads one setting from MY_OPTIONS: the name is matched without regard to the case of ASCII
// letters, the value comes back trimmed; a missing, NULL or blank value gives `def` as given.
// Opens its own connection. A failing statement shows the library's message and gives `def`.
std::string GetOption(const std::string& name, const std::string& def);

}  // namespace velmorant
