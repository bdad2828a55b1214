#pragma once

#include <QPointer>
#include <QWidget>

#include "db/Notifier.h"

namespace velmorant {

// Shows the core's messages and questions as real message boxes. A box belongs to the owner
// window (the journal) and carries its caption; before there is an owner it has none and an
// empty caption.
class MessageBoxNotifier : public Notifier {
public:
    void setOwner(QWidget* owner) { m_owner = owner; }
    QWidget* owner() const { return m_owner; }

    MessageAnswer show(const std::string& text, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    QPointer<QWidget> m_owner;
};

}  // namespace velmorant
