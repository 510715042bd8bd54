// lstCopied: the list of copied files. A model of plain lines shown in a
// one-column table with fixed row heights: appending a line costs the same
// with ten lines or half a million (a list view lays all its items out again
// on every insertion), and only the visible lines are painted. Its horizontal
// extent is set by its owner (it only grows) and covers the widest line so far.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QTableView>
#include <vector>

class CopiedListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The lines have no headings: a reader of the list hears no numbers
    // the view would make up for its hidden headers.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Adds a line; views hear of it at the next flush().
    void append(const QString& line);
    // Tells the views of every line appended since the last flush, in one go.
    void flush();
    void clear();
    const QString& line(int row) const { return lines_[static_cast<size_t>(row)]; }
    int count() const { return static_cast<int>(lines_.size()); }

private:
    std::vector<QString> lines_;
    int announced_ = 0; // lines the views know of
};

class CopiedListView : public QTableView {
    Q_OBJECT
public:
    explicit CopiedListView(QWidget* parent = nullptr);

    // The lines, every appended one announced to the view.
    CopiedListModel& lines()
    {
        model_.flush();
        return model_;
    }
    // Adds a line during a run: the view shows it at the next lines(), or
    // when the window next gets to handle its events.
    void appendLine(const QString& line);

    // The width in pixels that the horizontal scroll bar covers.
    void setHorizontalExtent(int pixels);
    int horizontalExtent() const { return extent_; }

    // Tells assistive tools how many lines the list holds, when that has
    // changed: "12 件".
    void describeCount();

    // The selected lines in list order, each followed by CR LF unless it is
    // the last line of the list.
    QString selectedText() const;

signals:
    // The right mouse button went down over the list, or the menu key was
    // pressed in it; GLOBALPOS is where the menu is to open.
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CopiedListModel model_;
    int extent_ = 0;
    bool flushQueued_ = false;
};
