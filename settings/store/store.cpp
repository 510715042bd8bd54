#include "store.h"

#include "util/ownfiles.h"
#include "util/qt/pathtext.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

// The user's store where it is a file: the one QSettings("Quorvane",
// "Vestrelle") would use, named here so that it can be looked at before it is
// read, and so that only it is read (not the organisation's or the system's
// files as well). Elsewhere (the Windows registry) empty: the store is named
// by organisation and program.
QString userFile()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quorvane/Vestrelle.conf");
#else
    return QString();
#endif
}

} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString& path)
    : path_(path)
{
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::open()
{
    settings_.reset();
    errorText_.clear();
    if (unavailable_)
        return fail(QStringLiteral("設定の保存場所を開けません。"));

    // QSettings reads its file as it is made, so the file is looked at first:
    // a named pipe there would hold the program for ever. (Should it be put
    // there just after this look, its owner is the user, who can do worse.)
    const QString file = path_.isEmpty() ? userFile() : path_;
    if (!file.isEmpty() && !isRegularOrMissing(toPath(file)))
        return fail(QStringLiteral("設定ファイルを読み込めません: ") + file);

    auto settings = file.isEmpty()
        ? std::make_unique<QSettings>(QStringLiteral("Quorvane"), QStringLiteral("Vestrelle"))
        : std::make_unique<QSettings>(file, path_.isEmpty() ? QSettings::NativeFormat : QSettings::IniFormat);
    // The store is the user's own: values that an administrator put in the
    // system-wide or organisation-wide files must not stand in for missing ones.
    settings->setFallbacksEnabled(false);
    settings_ = std::move(settings);

    switch (settings_->status()) {
    case QSettings::NoError:
        break;
    case QSettings::AccessError:
        return fail(QStringLiteral("設定ファイルを読み込めません: ") + settings_->fileName());
    case QSettings::FormatError:
        return fail(QStringLiteral("設定ファイルの形式が正しくありません: ") + settings_->fileName());
    }
    // isWritable() also creates the file's folder when it is missing.
    if (!settings_->isWritable())
        return fail(QStringLiteral("設定ファイルに書き込めません: ") + settings_->fileName());
    return true;
}

std::optional<QString> SettingsStore::read(const QString& name)
{
    if (!settings_)
        return std::nullopt;
    const QVariant value = settings_->value(name);
    QString text;
    switch (value.typeId()) {
    case QMetaType::QString:
        text = value.toString();
        break;
    case QMetaType::QStringList:
        // The INI reader splits an unquoted text at its commas. Our own values
        // are written quoted and never come back as a list; one edited by hand
        // is joined again as well as it can be.
        text = value.toStringList().join(QLatin1Char(','));
        break;
    case QMetaType::QByteArray:
        text = QString::fromUtf8(value.toByteArray());
        break;
    default:
        if (!value.isValid() || !value.canConvert<QString>())
            return std::nullopt;
        text = value.toString();
        break;
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

bool SettingsStore::write(const QString& name, const QString& value)
{
    if (!settings_)
        return fail(QStringLiteral("設定の保存場所が開かれていません。"));
    // Always a QString, never a list: the INI writer quotes a text with
    // commas, so it reads back as the same text.
    settings_->setValue(name, QVariant(value));
    return synced();
}

bool SettingsStore::write(std::initializer_list<std::pair<QString, QString>> values)
{
    if (!settings_)
        return fail(QStringLiteral("設定の保存場所が開かれていません。"));
    for (const auto& [name, value] : values)
        settings_->setValue(name, QVariant(value));
    return synced();
}

bool SettingsStore::remove(const QString& name)
{
    if (!settings_)
        return fail(QStringLiteral("設定の保存場所が開かれていません。"));
    settings_->remove(name);
    return synced();
}

void SettingsStore::close()
{
    if (settings_)
        synced();
    settings_.reset();
}

bool SettingsStore::fail(const QString& why)
{
    errorText_ = why;
    return false;
}

bool SettingsStore::synced()
{
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
        return fail(QStringLiteral("設定ファイルに書き込めません: ") + settings_->fileName());
    return true;
}
