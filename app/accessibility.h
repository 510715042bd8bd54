// What assistive tools (screen readers, magnifiers) learn of the program's
// own widgets, and of the controls whose captions are labels of their own.
#pragma once

class QLabel;
class QWidget;

// Installs the interfaces of the program's widgets with Qt's accessibility
// (once; later calls do nothing). The window module calls it as it starts,
// before any widget can be asked about.
void installAccessibleInterfaces();

// Makes CAPTION's text, without its line ends, the name CONTROL is announced
// by, and CAPTION the label of CONTROL. An editable combo box gives the name
// to its text field too, which is what holds the focus.
void nameAfterCaption(QLabel* caption, QWidget* control);
