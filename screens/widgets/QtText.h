#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace velmorant {

// The core keeps its texts in UTF-8 (std::string, string literals); the screens show QString.
// These two are the one way the screens convert between them.
inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQString(const QString& text) { return text.toStdString(); }

}  // namespace velmorant
