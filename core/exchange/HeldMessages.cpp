#include "core/exchange/HeldMessages.h"

#include <utility>

namespace velmorant {

MessageAnswer HeldMessages::show(const std::string& text, MessageIcon icon,
                                 MessageButtons buttons) {
    if (m_passing > 0) return m_passTo.show(text, icon, buttons);
    m_boxes.push_back({text, icon});
    return UnattendedAnswer(buttons);
}

std::vector<HeldMessages::Box> HeldMessages::Take() { return std::exchange(m_boxes, {}); }

}  // namespace velmorant
