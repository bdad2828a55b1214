#include "screens/widgets/ViewHelpers.h"

#include <QAbstractButton>
#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "screens/widgets/Dialog.h"

namespace velmorant {

void CloseDialog(QWidget* form, bool confirmed) {
    if (!form || !form->isWindow()) return;
    auto* dialog = qobject_cast<QDialog*>(form);
    if (dialog && dialog->isModal() && dialog->isVisible()) {
        dialog->done(confirmed ? Dialog::Confirmed : Dialog::Cancelled);
        return;
    }
    QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
}

namespace {
// The width that FitLastColumn gives `column`: the view's width inside the frame, less every
// other column, less a vertical scroll bar and 2 pixels.
int restOfWidth(QAbstractScrollArea* view, QHeaderView* header, int column) {
    int others = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (i != column && !header->isSectionHidden(i)) others += header->sectionSize(i);
    }
    const int clientWidth = view->width() - 2 * view->frameWidth();
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    return clientWidth - others - scrollBar - 2;
}

void fitColumn(QAbstractScrollArea* view, QHeaderView* header, int column, int minimumWidth) {
    if (!view || !header || column < 0 || column >= header->count()) return;
    header->resizeSection(column, std::max(minimumWidth, restOfWidth(view, header, column)));
}

// See StretchColumn: the rest of the width, but no more than the handheld's width plus
// what the window has beyond the handheld's screen.
void stretchColumn(QAbstractScrollArea* view, QHeaderView* header, int column, int handheldWidth) {
    if (!view || !header || column < 0 || column >= header->count()) return;
    const int extra = std::max(0, view->window()->width() - kHandheldScreenWidth);
    const int width = std::min(restOfWidth(view, header, column), handheldWidth + extra);
    header->resizeSection(column, std::max(handheldWidth, width));
}

// Refits one column of a view; see StretchColumn.
class ColumnStretcher : public QObject {
public:
    ColumnStretcher(QAbstractScrollArea* view, QHeaderView* header, int column, int minimumWidth)
        : QObject(view), m_view(view), m_header(header), m_column(column), m_minimum(minimumWidth) {
        view->installEventFilter(this);
        connect(header, &QHeaderView::sectionCountChanged, this, [this] { fit(); });
        connect(header, &QHeaderView::sectionResized, this, [this](int logical) {
            if (logical != m_column) fit();
        });
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit() {
        if (m_fitting) return;
        m_fitting = true;
        stretchColumn(m_view, m_header, m_column, m_minimum);
        m_fitting = false;
    }

    QAbstractScrollArea* m_view;
    QHeaderView* m_header;
    int m_column;
    int m_minimum;
    bool m_fitting = false;
};

}  // namespace

// Moves a Tab's focus from any button of an exclusive group to its checked button.
class CheckedButtonFocus : public QObject {
public:
    explicit CheckedButtonFocus(QButtonGroup* group) : QObject(group), m_group(group) {
        for (QAbstractButton* b : group->buttons()) b->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            QAbstractButton* checked = m_group->checkedButton();
            // Tab, Shift+Tab, and the first focus of a window that opens.
            const bool keyboard = reason == Qt::TabFocusReason ||
                                  reason == Qt::BacktabFocusReason ||
                                  reason == Qt::ActiveWindowFocusReason;
            if (keyboard && checked && checked != watched && checked->isEnabled() &&
                checked->isVisibleTo(checked->window())) {
                checked->setFocus(reason);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QButtonGroup* m_group;
};

void TabToCheckedButton(QButtonGroup* group) {
    if (group && group->exclusive()) new CheckedButtonFocus(group);
}

namespace {
// Clicks its button on Enter; see ClickOnEnter.
class EnterClicks : public QObject {
public:
    explicit EnterClicks(QAbstractButton* button) : QObject(button), m_button(button) {
        button->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_button && event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                if (m_button->isEnabled()) m_button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* m_button;
};
}  // namespace

namespace {
// Runs its action once, on the window's activation or when its time is up; see WhenActive.
class ActivationWait : public QObject {
public:
    ActivationWait(QWidget* window, std::function<void()> action, int waitMs)
        : m_action(std::move(action)) {
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, &ActivationWait::run);
        QTimer::singleShot(waitMs, this, &ActivationWait::run);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Queued: the activation ends first, and the focus is in the window.
        if (event->type() == QEvent::WindowActivate)
            QMetaObject::invokeMethod(this, &ActivationWait::run, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void run() {
        if (m_done) return;
        m_done = true;
        deleteLater();
        if (m_action) m_action();
    }

    std::function<void()> m_action;
    bool m_done = false;
};
}  // namespace

void WhenActive(QWidget* window, std::function<void()> action, int waitMs) {
    if (!window || window->isActiveWindow()) {
        if (action) action();
        return;
    }
    new ActivationWait(window, std::move(action), waitMs);
}

void ClickOnEnter(QAbstractButton* button) {
    if (button) new EnterClicks(button);
}

void StretchColumn(QTableView* view, int column, int minimumWidth) {
    if (view) new ColumnStretcher(view, view->horizontalHeader(), column, minimumWidth);
}

void StretchColumn(QTreeView* view, int column, int minimumWidth) {
    if (view) new ColumnStretcher(view, view->header(), column, minimumWidth);
}

void FitLastColumn(QTableView* view, int column, int minimumWidth) {
    if (view) fitColumn(view, view->horizontalHeader(), column, minimumWidth);
}

void FitLastColumn(QTreeView* view, int column, int minimumWidth) {
    if (view) fitColumn(view, view->header(), column, minimumWidth);
}

namespace {
int countNodes(const QAbstractItemModel* model, const QModelIndex& parent, int limit) {
    int n = 0;
    for (int r = 0; r < model->rowCount(parent) && n < limit; ++r) {
        ++n;
        n += countNodes(model, model->index(r, 0, parent), limit - n);
    }
    return n;
}
}  // namespace

int TreeRowHeight(QTreeView* tree) {
    if (!tree || !tree->model()) return 4;
    const QAbstractItemModel* model = tree->model();
    QModelIndex first = tree->indexAt(QPoint(1, 1));
    if (!first.isValid()) first = model->index(0, 0, tree->rootIndex());
    if (!first.isValid()) return 4;
    const QRect firstRect = tree->visualRect(first);
    if (countNodes(model, tree->rootIndex(), 2) > 1) {
        QModelIndex next = first.sibling(first.row() + 1, 0);
        if (!next.isValid()) next = tree->indexBelow(first);
        if (next.isValid()) {
            return std::abs(firstRect.bottom() - tree->visualRect(next).bottom());
        }
    }
    return firstRect.height() + 4;
}

int ExpandOrCollapseAll(QTreeView* tree, bool expand, int maxDepth) {
    if (!tree || !tree->model()) return 0;
    // Walked with an explicit stack: a folder chain may be deeper than the call stack allows.
    const QAbstractItemModel* model = tree->model();
    struct Pending {
        QModelIndex index;
        int depth;
    };
    std::vector<Pending> pending;
    const QModelIndex root = tree->rootIndex();
    for (int r = model->rowCount(root) - 1; r >= 0; --r)
        pending.push_back({model->index(r, 0, root), 0});
    int n = 0;
    while (!pending.empty()) {
        const Pending node = pending.back();
        pending.pop_back();
        ++n;
        if (node.depth >= maxDepth) continue;
        if (expand)
            tree->expand(node.index);
        else
            tree->collapse(node.index);
        for (int r = model->rowCount(node.index) - 1; r >= 0; --r) {
            pending.push_back({model->index(r, 0, node.index), node.depth + 1});
        }
    }
    return n;
}

void HideTreeBranches(QTreeView* tree) {
    if (!tree) return;
    tree->setRootIsDecorated(false);
    tree->setStyleSheet(
        QStringLiteral("QTreeView::branch { image: none; border-image: none; background: "
                       "palette(base); }"));
}

void DeleteTreeItems(QTreeWidget* tree) {
    if (!tree) return;
    // Taken out of the view in one step, so the view is not told of every single removal.
    const QList<QTreeWidgetItem*> top = tree->invisibleRootItem()->takeChildren();
    std::vector<QTreeWidgetItem*> order;  // parents before their children
    std::vector<QTreeWidgetItem*> pending(top.rbegin(), top.rend());
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        order.push_back(item);
        for (int c = item->childCount() - 1; c >= 0; --c) pending.push_back(item->child(c));
    }
    // From the end every item's children are gone before it, so no deletion recurses.
    for (auto it = order.rbegin(); it != order.rend(); ++it) delete *it;
}

}  // namespace velmorant
