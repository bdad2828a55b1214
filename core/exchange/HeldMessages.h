#pragma once

#include <string>
#include <vector>

#include "core/db/Notifier.h"

namespace velmorant {

// The notifier of an exchange that runs by itself: it asks the agent nothing and puts no box in
// front of whatever the agent is doing. The boxes of the exchange are held, for the caller to
// show once the run has ended (the office's messages) or to log (a failure); questions get the
// answer the console gives them (No, Cancel). While the run serves the event loop (a transfer
// waiting, an import between statements) the agent works on, and the boxes of that work go to
// `passTo` as usual: PassThrough() marks those stretches. User-interface thread only.
class HeldMessages : public Notifier {
public:
    struct Box {
        std::string text;
        MessageIcon icon;
    };

    explicit HeldMessages(Notifier& passTo) : m_passTo(passTo) {}

    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

    // Boxes shown from now on (until the matching PassThrough(false)) go to `passTo`. Nests.
    void PassThrough(bool on) { m_passing += on ? 1 : -1; }
    // The boxes held so far, in order; the list is emptied.
    std::vector<Box> Take();

private:
    Notifier& m_passTo;
    int m_passing = 0;
    std::vector<Box> m_boxes;
};

}  // namespace velmorant
