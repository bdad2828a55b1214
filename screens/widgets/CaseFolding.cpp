#include "screens/widgets/CaseFolding.h"

#include <QString>

namespace velmorant {

std::string FoldCase(std::string_view utf8) {
    const QByteArray folded =
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
}

CaseFolder QtCaseFolder() {
    return [](std::string_view utf8) { return FoldCase(utf8); };
}

}  // namespace velmorant
