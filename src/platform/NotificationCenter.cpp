#include "platform/NotificationCenter.h"

namespace tessaline {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::post(const QString &name, QObject *sender, const QVariantMap &userInfo)
{
    Q_EMIT posted(name, sender, userInfo);
}

} // namespace tessaline
