#pragma once

#include <string>
#include <string_view>

#include "core/db/Text.h"

namespace velmorant {

// Qt's Unicode case folding (QString::toCaseFolded) of UTF-8 text, as UTF-8: Cyrillic,
// Latin and every other cased alphabet alike. This is the CaseFolder the screens hand the
// core's name searches.
std::string FoldCase(std::string_view utf8);
CaseFolder QtCaseFolder();

}  // namespace velmorant
