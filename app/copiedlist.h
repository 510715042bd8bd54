// lstCopied: the list of copied files. A model of plain lines and a list view
// that paints only what is visible, so that it stays quick and light with
// hundreds of thousands of lines. Its horizontal extent is set by its owner
// (it only grows) and covers the widest line seen so far.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QString>
#include <vector>

class CopiedListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void append(const QString& line);
    void clear();
    const QString& line(int row) const { return lines_[static_cast<size_t>(row)]; }
    int count() const { return static_cast<int>(lines_.size()); }

private:
    std::vector<QString> lines_;
};

class CopiedListView : public QListView {
    Q_OBJECT
public:
    explicit CopiedListView(QWidget* parent = nullptr);

    CopiedListModel& lines() { return model_; }
    const CopiedListModel& lines() const { return model_; }

    // The width in pixels that the horizontal scroll bar covers.
    void setHorizontalExtent(int pixels);
    int horizontalExtent() const { return extent_; }

    // The selected lines in list order, each followed by CR LF unless it is
    // the last line of the list.
    QString selectedText() const;

signals:
    // The right mouse button went down over the list.
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    CopiedListModel model_;
    int extent_ = 0;
};
