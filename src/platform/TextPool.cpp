#include "platform/TextPool.h"

#include <QHash>
#include <QMutex>

namespace tessaline::TextPool {

const QString *pooled(const QString &text)
{
    static QMutex mutex;
    // Never destroyed: pointers into it may be read while the process ends.
    static auto *texts = new QHash<QString, const QString *>();
    const QMutexLocker lock(&mutex);
    const QString *&entry = (*texts)[text];
    if (!entry)
        entry = new QString(text.isNull() ? QStringLiteral("") : text);
    return entry;
}

} // namespace tessaline::TextPool
