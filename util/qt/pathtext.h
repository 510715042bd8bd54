// File names between the window and the engine: the engine and the helper
// library take paths as the bytes the system uses; the window shows them as
// text in the local 8-bit encoding (UTF-8 here).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

inline std::string toPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

inline QString fromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}
