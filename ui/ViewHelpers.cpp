#include "ui/ViewHelpers.h"

#include <QDialog>
#include <QMetaObject>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cstdlib>

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

namespace {
int walk(QTreeView* tree, const QModelIndex& parent, bool expand) {
    const QAbstractItemModel* model = tree->model();
    int n = 0;
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex index = model->index(r, 0, parent);
        if (expand)
            tree->expand(index);
        else
            tree->collapse(index);
        n += 1 + walk(tree, index, expand);
    }
    return n;
}
}  // namespace

int ExpandOrCollapseAll(QTreeView* tree, bool expand) {
    if (!tree || !tree->model()) return 0;
    return walk(tree, tree->rootIndex(), expand);
}

}  // namespace velmorant
