// The per-user settings store: named text values kept by QSettings under
// "Quorvane" / "Vestrelle" (on Linux $XDG_CONFIG_HOME/Quorvane/Vestrelle.conf).
//
// Like the key it stands for, the store is opened for one operation and
// closed again; nothing keeps it open between operations. Every write and
// removal reaches the file at once, so the last instance of the program to
// store a value wins.
#pragma once

#include <QString>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

class QSettings;

class SettingsStore {
public:
    // The user's own store.
    SettingsStore();
    // A store kept in the INI file PATH, for tests.
    explicit SettingsStore(const QString& path);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Opens the store for one operation (creating its folder when missing):
    // false when it cannot be read or written (an access or format error, or
    // a file that cannot be written).
    bool open();
    // The value NAME exactly as it was written, up to its first NUL; nothing
    // when it is missing or cannot be read. A value stored as the empty text
    // is present and empty.
    std::optional<QString> read(const QString& name);
    // Writes NAME; false when it cannot be stored.
    bool write(const QString& name, const QString& value);
    // Writes the values together: all of them are stored, or none.
    bool write(std::initializer_list<std::pair<QString, QString>> values);
    // Removes NAME (and anything stored under it); false when the change
    // cannot be stored.
    bool remove(const QString& name);
    // Ends the operation, writing what was changed.
    void close();

    // Why the last open, write or removal failed, for a message to the user.
    QString errorText() const { return errorText_; }

    // Test seam: while set, every open() fails as if the store could not be opened.
    void setUnavailable(bool unavailable) { unavailable_ = unavailable; }

private:
    bool fail(const QString& why);
    bool synced();

    QString path_;
    std::unique_ptr<QSettings> settings_;
    QString errorText_;
    bool unavailable_ = false;
};
