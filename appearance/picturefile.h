// The user's own background picture, read from a regular file only: a named
// pipe given as the picture would hold the window (or a batch run) for ever.
#pragma once

#include <QImage>
#include <QString>

// The picture in the file PATH, or a null image and WHY (a description of the
// failure for the user).
QImage readPictureFile(const QString& path, QString& why);
