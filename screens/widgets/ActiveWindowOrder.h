#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace velmorant {

// Remembers the order in which the program's windows were last active (it watches the whole
// application for window activations from its creation on), so that what needs "the window
// the agent works in" finds it also while none is active: a message box its owner, a second
// start the windows to bring back in front. Counted are the program's screens and dialogs,
// never pop-ups (menus, tool tips). User-interface thread only.
class ActiveWindowOrder : public QObject {
public:
    explicit ActiveWindowOrder(QObject* parent = nullptr);

    // The screens still shown, the least recently active first.
    QList<QWidget*> visibleWindows() const;
    // The most recently active screen still shown; nullptr when none is.
    QWidget* lastVisible() const;

    // A program's screen or dialog that is shown (not a pop-up).
    static bool isShownScreen(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPointer<QWidget>> m_order;
};

}  // namespace velmorant
