#include "platform/UserDefaults.h"

#include "platform/FileSync.h"
#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tessaline {

UserDefaults &UserDefaults::standard()
{
    static UserDefaults *instance = [] {
        const QString directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/Tessaline");
        return new UserDefaults(directory + QStringLiteral("/Tessaline.conf"));
    }();
    return *instance;
}

UserDefaults::UserDefaults(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    // The settings name notes and hold the shortcuts: like the library they
    // are their owner's alone (an earlier version left both readable by
    // everyone). A settings file is replaced on every save by one that keeps
    // its permissions, so the first is made private before anything is in it.
    makePrivateFolder(QFileInfo(filePath).path());
    const QByteArray path = QFile::encodeName(filePath);
    if (const int made = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); made >= 0) {
        ::close(made);
    } else {
        const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
            | QFileDevice::WriteUser;
        const QFileDevice::Permissions now = QFile::permissions(filePath);
        if (now & ~owner)
            QFile::setPermissions(filePath, now & owner);
    }
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const
{
    return m_settings->fileName();
}

bool UserDefaults::contains(const QString &key) const
{
    return m_settings->contains(key);
}

void UserDefaults::remove(const QString &key)
{
    m_settings->remove(key);
    scheduleSync();
    Q_EMIT changed(key);
}

void UserDefaults::scheduleSync()
{
    if (m_syncScheduled)
        return;
    m_syncScheduled = true;
    // Once per turn of the event loop, however many keys were set in it.
    QMetaObject::invokeMethod(this, [this] { sync(); }, Qt::QueuedConnection);
}

QVariant UserDefaults::value(const QString &key) const
{
    return m_settings->value(key);
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    scheduleSync();
    Q_EMIT changed(key);
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QByteArray)
        return std::nullopt;
    return value.toString();
}

void UserDefaults::setString(const QString &key, const QString &value)
{
    setValue(key, value);
}

std::optional<QByteArray> UserDefaults::data(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return std::nullopt;
}

void UserDefaults::setData(const QString &key, const QByteArray &value)
{
    setValue(key, value);
}

bool userDefaultsBoolean(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0;
    case QMetaType::QString: {
        const QString text = value.toString();
        qsizetype i = 0;
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
            ++i;
        while (i < text.size() && text.at(i) == u'0')
            ++i;
        if (i >= text.size())
            return false;
        const QChar c = text.at(i);
        return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
    }
    default:
        return false;
    }
}

bool UserDefaults::boolean(const QString &key) const
{
    return userDefaultsBoolean(m_settings->value(key));
}

std::optional<bool> UserDefaults::optionalBoolean(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    return userDefaultsBoolean(value);
}

void UserDefaults::setBoolean(const QString &key, bool value)
{
    setValue(key, value);
}

std::optional<double> UserDefaults::number(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    bool ok = false;
    const double result = value.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return result;
}

void UserDefaults::setNumber(const QString &key, double value)
{
    setValue(key, value);
}

void UserDefaults::sync()
{
    m_syncScheduled = false;
    m_settings->sync();
    // The settings file is replaced by a rename, which is durable only once
    // its folder is synced.
    if (m_settings->status() == QSettings::NoError) {
        (void)syncDirectoryOf(m_settings->fileName());
        return;
    }
    // QSettings keeps its first error for good, so it is said once.
    if (m_settings->status() == QSettings::AccessError && !std::exchange(m_writeFailureSaid, true)) {
        Q_EMIT writeFailed(QStringLiteral("Tessaline could not save its settings to “%1”. Make room on the disk, "
                                          "or the settings changed since will be lost when Tessaline quits.")
                               .arg(m_settings->fileName()));
    }
}

} // namespace tessaline
