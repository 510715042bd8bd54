// A label for texts that change with every file of a run (the counters, the
// file being checked, the status line). Setting its text only stores it and
// schedules a repaint, which costs a fraction of what a QLabel spends on the
// same change (text layout, size hints, accessibility events). A label can
// also take its text from a source that is read only when the text is shown
// or asked for: a run of 50,000 files then changes nothing but a counter per
// file, and the window reads the counter when it paints.
//
// Assistive tools hear of a new text at most once a second (a screen reader
// cannot follow more, and a run must not pay for it per file); a change
// within that second is told when it is over, or at once by announceNow().
#pragma once

#include <QBasicTimer>
#include <QFrame>
#include <QString>
#include <functional>

class TextLabel : public QFrame {
    Q_OBJECT
public:
    explicit TextLabel(QWidget* parent = nullptr);

    QString text() const { return source_ ? source_() : text_; }
    // A fixed text, in place of any source.
    void setText(const QString& text);
    // Reads the text from SOURCE from now on, until setText is called.
    void setSource(std::function<QString()> source);
    bool hasSource() const { return static_cast<bool>(source_); }
    void clear() { setText(QString()); }
    void setAlignment(Qt::Alignment alignment);

    // The source's text may have changed: repaints, and tells assistive
    // tools in due time.
    void refresh();
    // Tells assistive tools of the text now, if they have not heard it yet.
    void announceNow();

signals:
    // Assistive tools have been told of TEXT.
    void announced(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void announceLater();

    QString text_;
    std::function<QString()> source_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    QString announced_; // the text assistive tools were last told of
    QBasicTimer announceTimer_;
};
