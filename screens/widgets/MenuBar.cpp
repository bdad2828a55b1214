#include "screens/widgets/MenuBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>

#include <algorithm>

#include "screens/widgets/TouchTargets.h"

namespace velmorant {

namespace {
// A bar button as wide as its caption and a few pixels: on a 240-pixel screen every command
// of a screen must fit side by side. When they still do not, they shrink evenly.
class BarButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        // A finger's size on a phone's screen (TouchTargets.h), as drawn elsewhere.
        return QSize(fm.horizontalAdvance(text()) + 6, TouchSize(this, fm.height() + 8));
    }
    QSize minimumSizeHint() const override { return QSize(8, sizeHint().height()); }

protected:
    // Reached with Tab, a button takes Enter like Space: the screen's default command must
    // not fire instead of the command the agent moved to.
    void keyPressEvent(QKeyEvent* event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            event->accept();
            click();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

// A caption with its "&" doubled so that QToolButton shows it as it stands.
QString literalCaption(const QString& caption) {
    QString text = caption;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}
}  // namespace

MenuBar::MenuBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("menuBar"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addStretch(1);

    // The handheld's two soft keys. The shortcuts belong to this bar's window, so they act on
    // whichever screen is active.
    auto* first = new QShortcut(QKeySequence(Qt::Key_F1), this);
    first->setContext(Qt::WindowShortcut);
    connect(first, &QShortcut::activated, this, [this] { softKey(firstCommand()); });
    auto* last = new QShortcut(QKeySequence(Qt::Key_F2), this);
    last->setContext(Qt::WindowShortcut);
    connect(last, &QShortcut::activated, this, [this] { softKey(lastCommand()); });
}

QAction* MenuBar::firstCommand() const {
    for (QAction* action : m_commands) {
        if (action->isVisible()) return action;
    }
    return nullptr;
}

QAction* MenuBar::lastCommand() const {
    for (auto it = m_commands.crbegin(); it != m_commands.crend(); ++it) {
        if ((*it)->isVisible()) return *it;
    }
    return nullptr;
}

void MenuBar::softKey(QAction* topLevel) {
    if (!topLevel || !topLevel->isEnabled()) return;
    if (!topLevel->menu()) {
        topLevel->trigger();
        return;
    }
    popUp(topLevel);
    // Opened from the keyboard: the first item is marked, so the arrows and Enter go on
    // from there.
    QMenu* menu = topLevel->menu();
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator() && item->isVisible() && item->isEnabled()) {
            menu->setActiveAction(item);
            break;
        }
    }
}

QToolButton* MenuBar::addButton(QAction* action) {
    auto* button = new BarButton(this);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Tab reaches the commands; a tap leaves the focus where it was (in the list).
    button->setFocusPolicy(Qt::TabFocus);
    button->setObjectName(QStringLiteral("menuButton%1").arg(m_commands.size()));
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    layout->insertWidget(layout->count() - 1, button);  // before the stretch
    m_commands.append(action);
    m_buttons.insert(action, button);
    connect(action, &QAction::changed, this, [this, action] { sync(action); });
    connect(button, &QToolButton::clicked, this, [this, action] {
        if (!action->isEnabled()) return;
        if (action->menu())
            popUp(action);
        else
            action->trigger();
    });
    sync(action);
    return button;
}

QAction* MenuBar::addCommand(const QString& caption) {
    auto* action = new QAction(caption, this);
    addButton(action);
    return action;
}

QMenu* MenuBar::addMenu(const QString& caption) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("subMenu%1").arg(m_commands.size()));
    menu->installEventFilter(this);
    QAction* action = menu->menuAction();
    action->setText(caption);
    addButton(action);
    return menu;
}

QAction* MenuBar::addItem(QMenu* menu, const QString& caption) {
    auto* action = new QAction(caption, menu);
    menu->addAction(action);
    return action;
}

QAction* MenuBar::addSeparator(QMenu* menu) { return menu->addSeparator(); }

void MenuBar::setBold(QAction* action, bool bold) {
    if (!action) return;
    QFont font = action->font();
    font.setBold(bold);
    action->setFont(font);
}

void MenuBar::setDefaultCommand(QAction* action) {
    if (m_default == action) return;
    setBold(m_default, false);
    m_default = action;
    setBold(m_default, true);
}

QAction* MenuBar::findCommand(const QString& caption) const {
    for (QAction* top : m_commands) {
        if (top->text() == caption) return top;
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions()) {
                if (!item->isSeparator() && item->text() == caption) return item;
            }
        }
    }
    return nullptr;
}

void MenuBar::sync(QAction* action) {
    QToolButton* button = m_buttons.value(action);
    if (!button) return;
    button->setText(literalCaption(action->text()));
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
    QFont font = button->font();
    font.setBold(action->font().bold());
    button->setFont(font);
}

void MenuBar::showEvent(QShowEvent* event) {
    // The screens often add their commands before their controls, and Qt's tab order is the
    // order of creation, so the first focus of an opening screen would land on a command that
    // Enter triggers. Give it to the screen's own first control instead; Tab then reaches
    // the bar after the last control (the tab order runs round).
    QWidget* screen = window();
    const auto isOurs = [this](QWidget* w) {
        return std::find(m_buttons.cbegin(), m_buttons.cend(), w) != m_buttons.cend();
    };
    QWidget* focus = screen->focusWidget();
    if (!focus || isOurs(focus)) {
        for (QWidget* w = screen->nextInFocusChain(); w != screen; w = w->nextInFocusChain()) {
            if (!isOurs(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
                w->isVisibleTo(screen) && !w->focusProxy()) {
                w->setFocus(Qt::ActiveWindowFocusReason);
                break;
            }
        }
    }
    QWidget::showEvent(event);
}

bool MenuBar::eventFilter(QObject* watched, QEvent* event) {
    // A soft key pressed while a drop-up menu is open closes it, as on the handheld.
    if (event->type() == QEvent::KeyPress) {
        auto* menu = qobject_cast<QMenu*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (menu && (key == Qt::Key_F1 || key == Qt::Key_F2)) {
            menu->close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MenuBar::popUp(QAction* topLevel) {
    QMenu* menu = menuOf(topLevel);
    QToolButton* button = buttonOf(topLevel);
    if (!menu || !button || !topLevel->isEnabled()) return;
    // The bar sits at the bottom of the screen, so the menu opens upwards from the button.
    const QSize size = menu->sizeHint();
    QPoint pos = button->mapToGlobal(QPoint(0, -size.height()));
    if (QScreen* screen = button->screen()) {
        const QRect area = screen->availableGeometry();
        if (pos.x() + size.width() > area.right()) pos.setX(area.right() - size.width());
        if (pos.x() < area.left()) pos.setX(area.left());
        if (pos.y() < area.top()) pos.setY(area.top());
    }
    menu->popup(pos);
}

}  // namespace velmorant
