#include "copiedlist.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>

int CopiedListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant CopiedListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count())
        return {};
    return line(index.row());
}

void CopiedListModel::append(const QString& line)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    endInsertRows();
}

void CopiedListModel::clear()
{
    beginResetModel();
    std::vector<QString>().swap(lines_);
    endResetModel();
}

CopiedListView::CopiedListView(QWidget* parent)
    : QTableView(parent)
{
    setModel(&model_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void CopiedListView::setHorizontalExtent(int pixels)
{
    extent_ = pixels;
    setColumnWidth(0, pixels);
}

QString CopiedListView::selectedText() const
{
    QModelIndexList selected = selectionModel()->selectedRows();
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());

    const int last = model_.count() - 1;
    QString text;
    for (int row : rows) {
        text += model_.line(row);
        if (row != last)
            text += QStringLiteral("\r\n");
    }
    return text;
}

void CopiedListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit contextMenuWanted(event->globalPosition().toPoint());
        return;
    }
    QTableView::mousePressEvent(event);
}
