#include "ui/ViewHelpers.h"

#include <QDialog>
#include <QMetaObject>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ui/Dialog.h"

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
void fitColumn(QAbstractScrollArea* view, QHeaderView* header, int column, int minimumWidth) {
    if (!view || !header || column < 0 || column >= header->count()) return;
    int others = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (i != column && !header->isSectionHidden(i)) others += header->sectionSize(i);
    }
    const int clientWidth = view->width() - 2 * view->frameWidth();
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    header->resizeSection(column, std::max(minimumWidth, clientWidth - others - scrollBar - 2));
}
}  // namespace

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
