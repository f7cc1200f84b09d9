#include "platform/BackgroundPool.h"

#include <QThreadPool>

namespace tessaline {

QThreadPool &backgroundPool()
{
    // Never destroyed: a job still running at exit must not find its pool
    // gone, and the process ends the threads.
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setObjectName(QStringLiteral("Background"));
        return made;
    }();
    return *pool;
}

} // namespace tessaline
