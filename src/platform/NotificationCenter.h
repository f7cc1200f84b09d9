#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

namespace tessaline {

// The process's one place for broadcast notices ("Tessaline.captureCompleted"
// and friends). Observers connect to `posted` and filter by name.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    static NotificationCenter &defaultCenter();

    using QObject::QObject;

    void post(const QString &name, QObject *sender = nullptr, const QVariantMap &userInfo = {});

Q_SIGNALS:
    void posted(const QString &name, QObject *sender, const QVariantMap &userInfo);
};

} // namespace tessaline
