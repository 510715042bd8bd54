#include "copiedlist.h"

#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// Every line is as wide as the list's horizontal extent and one text line
// high: with uniform item sizes the view asks this once instead of per line.
class ExtentDelegate : public QStyledItemDelegate {
public:
    ExtentDelegate(const int& extent, QObject* parent)
        : QStyledItemDelegate(parent)
        , extent_(extent)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(extent_, option.fontMetrics.height() + 2);
    }

private:
    const int& extent_;
};

} // namespace

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
    : QListView(parent)
{
    setModel(&model_);
    setItemDelegate(new ExtentDelegate(extent_, this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
}

void CopiedListView::setHorizontalExtent(int pixels)
{
    if (pixels == extent_)
        return;
    extent_ = pixels;
    scheduleDelayedItemsLayout();
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
    QListView::mousePressEvent(event);
}
