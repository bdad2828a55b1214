#include "ui/MenuBar.h"

#include <QHBoxLayout>
#include <QScreen>

namespace velmorant {

namespace {
// A bar button as wide as its caption and a few pixels: on a 240-pixel screen every command
// of a screen must fit side by side. When they still do not, they shrink evenly.
class BarButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return QSize(fm.horizontalAdvance(text()) + 6, fm.height() + 8);
    }
    QSize minimumSizeHint() const override { return QSize(8, sizeHint().height()); }
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
}

QToolButton* MenuBar::addButton(QAction* action) {
    auto* button = new BarButton(this);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
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
