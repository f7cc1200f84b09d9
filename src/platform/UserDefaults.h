#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace tessaline {

// Small settings under fixed string keys, kept in an INI file. Every settings
// store of the app is handed one of these; tests hand each store a temporary
// file of its own so no test touches the user's settings.
class UserDefaults : public QObject
{
    Q_OBJECT
public:
    // The user's own settings (~/.config/Tessaline/Tessaline.conf).
    static UserDefaults &standard();

    explicit UserDefaults(const QString &filePath, QObject *parent = nullptr);
    ~UserDefaults() override;

    QString filePath() const;

    bool contains(const QString &key) const;
    void remove(const QString &key);

    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

    std::optional<QString> string(const QString &key) const;
    void setString(const QString &key, const QString &value);

    std::optional<QByteArray> data(const QString &key) const;
    void setData(const QString &key, const QByteArray &value);

    // Absent or unreadable values read false. Text reads true when, after
    // leading spaces and an optional sign, it starts with Y, y, T, t or a
    // digit 1-9; numbers read true when non-zero. So "NO" and 0 read false,
    // "yes" and "1" read true.
    bool boolean(const QString &key) const;
    std::optional<bool> optionalBoolean(const QString &key) const;
    void setBoolean(const QString &key, bool value);

    std::optional<double> number(const QString &key) const;
    void setNumber(const QString &key, double value);

    // Writes what was set to the file and makes the write durable. Every
    // change is synced so from the event loop soon after it is made.
    void sync();

Q_SIGNALS:
    void changed(const QString &key);
    // The first time the file could not be written (a full disk, say), with
    // what the user is told. The settings stay as set, and the next sync
    // that can writes them.
    void writeFailed(const QString &message);

private:
    void scheduleSync();

    std::unique_ptr<QSettings> m_settings;
    bool m_syncScheduled = false;
    bool m_writeFailureSaid = false;
};

bool userDefaultsBoolean(const QVariant &value);

} // namespace tessaline
