#include "picturefile.h"

#include "util/ownfiles.h"
#include "util/qt/pathtext.h"

#include <QFile>
#include <QImageReader>
#include <cerrno>
#include <cstring>
#include <unistd.h>

QImage readPictureFile(const QString& path, QString& why)
{
    const int fd = openRegularForReading(toPath(path));
    if (fd < 0) {
        why = errno == kNotRegularFile ? QStringLiteral("指定画像は扱えません。")
                                       : QString::fromLocal8Bit(std::strerror(errno));
        return QImage();
    }
    // The file keeps its name, so that its suffix still helps to tell the format.
    QFile file(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        why = file.errorString();
        return QImage();
    }
    QImageReader reader(&file);
    const QImage picture = reader.read();
    if (picture.isNull())
        why = reader.errorString();
    return picture;
}
