// What assistive tools (screen readers, magnifiers) learn of the program's
// own widgets, and of the controls whose captions are labels of their own.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QLabel;
class QWidget;
class RunAnnouncement;
class RunProgressObject;

// Installs the interfaces of the program's widgets with Qt's accessibility
// (once; later calls do nothing). The window module calls it as it starts,
// before any widget can be asked about.
void installAccessibleInterfaces();

// Makes CAPTION's text, without its line ends, the name CONTROL is announced
// by, and CAPTION the label of CONTROL. An editable combo box gives the name
// to its text field too, which is what holds the focus.
void nameAfterCaption(QLabel* caption, QWidget* control);

// What assistive tools hear of a run while it goes on. The window holds a
// progress bar that stands for the run (the files checked of the source's
// count, indeterminate while the count is unknown, described by the run's
// progress line) and screen readers speak as it advances; the status line
// reads as a status bar whose notification tells of a run's start and end.
// Neither is drawn: sighted users see the counters and the status line.
class RunHeard {
public:
    RunHeard(QWidget& window, QWidget& statusLine);
    RunHeard(const RunHeard&) = delete;
    RunHeard& operator=(const RunHeard&) = delete;

    // A run called NAME ("コピー", "見積") goes on: CHECKED files of TOTAL, LINE.
    void showProgress(
        const QString& name, std::int64_t checked, std::optional<std::int64_t> total, const QString& line);
    // No run goes on: the progress bar is hidden.
    void endProgress();
    // Says TEXT once, as the status bar's notification.
    void announce(const QString& text);

private:
    RunProgressObject* progress_; // owned by the window
    // Owned by the status line. Announcements take turns: a tool that reads
    // one a moment after its notice (a short estimate ends right after it
    // starts) still finds the text it was told of.
    RunAnnouncement* announcements_[2];
    int next_ = 0;
};
