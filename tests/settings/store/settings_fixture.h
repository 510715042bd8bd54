// Helpers for the settings tests: a store in a temporary folder, and a way to
// make writing to it fail the way a full volume does.
#pragma once

#include "settings/store/store.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/resource.h>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// A settings file of the test's own. reopened() copies it to a new name, so
// that the values are read from the file and not from QSettings' in-process
// cache of what was written.
class StoreFolder {
public:
    QString path() const { return dir_.filePath(QStringLiteral("Vestrelle.conf")); }
    QString reopened()
    {
        const QString copy = dir_.filePath(QStringLiteral("copy%1.conf").arg(++copies_));
        EXPECT_TRUE(QFile::copy(path(), copy));
        return copy;
    }
    void writeRaw(const QByteArray& text)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QFile::WriteOnly | QFile::Truncate));
        file.write(text);
    }

private:
    QTemporaryDir dir_;
    int copies_ = 0;
};

inline void storeValue(const QString& path, const QString& name, const QString& value)
{
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    ASSERT_TRUE(store.write(name, value));
    store.close();
}

// While it lives, no file of this process can grow beyond 16 bytes, as on a
// full volume; unlike file permissions this holds for root too.
class FileSizeLimit {
public:
    FileSizeLimit()
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_ {};
    void (*previousHandler_)(int) = nullptr;
};
