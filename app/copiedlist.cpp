#include "copiedlist.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// Paints a line as plain text on the selection colour when selected: the
// style's full item painting, repeated for every visible line at every
// repaint of a run, costs several times more.
class LineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(option.rect.adjusted(3, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            index.data(Qt::DisplayRole).toString());
    }
};

} // namespace

int CopiedListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : announced_;
}

QVariant CopiedListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= announced_)
        return {};
    return line(index.row());
}

QVariant CopiedListModel::headerData(int, Qt::Orientation, int) const
{
    return {};
}

void CopiedListModel::append(const QString& line)
{
    lines_.push_back(line);
}

// A view does some work for every insertion it hears of; told once per
// repaint of the window instead of once per copied file, it keeps up with a
// run of tens of thousands of small files.
void CopiedListModel::flush()
{
    if (announced_ == count())
        return;
    beginInsertRows(QModelIndex(), announced_, count() - 1);
    announced_ = count();
    endInsertRows();
}

void CopiedListModel::clear()
{
    beginResetModel();
    std::vector<QString>().swap(lines_);
    announced_ = 0;
    endResetModel();
}

CopiedListView::CopiedListView(QWidget* parent)
    : QTableView(parent)
{
    setModel(&model_);
    setItemDelegate(new LineDelegate(this));
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
    // A list box: the arrow keys go from line to line, Tab leaves the list
    // (a table would keep Tab for its cells and never let the focus go).
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    describeCount();
}

void CopiedListView::appendLine(const QString& line)
{
    model_.append(line);
    if (flushQueued_)
        return;
    flushQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            flushQueued_ = false;
            model_.flush();
        },
        Qt::QueuedConnection);
}

void CopiedListView::setHorizontalExtent(int pixels)
{
    extent_ = pixels;
    setColumnWidth(0, pixels);
}

void CopiedListView::describeCount()
{
    const QString description = QString::number(model_.count()) + QStringLiteral(" 件");
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

QString CopiedListView::selectedText() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
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

// The mouse's menu opened at its press; the keyboard's opens below the
// current line, or at the list's corner when no line is current or in view.
void CopiedListView::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        return;
    }
    const QRect line = visualRect(currentIndex()).intersected(viewport()->rect());
    const QPoint at = line.isEmpty() ? QPoint(0, 0) : line.bottomLeft();
    emit contextMenuWanted(viewport()->mapToGlobal(at));
}
