#include "canvas/MinuteTicker.h"

#include <QCoreApplication>

namespace tessaline {

MinuteTicker &MinuteTicker::shared()
{
    // Owned by the application, so it goes with it.
    static MinuteTicker *ticker = [] {
        auto *made = new MinuteTicker;
        made->setParent(QCoreApplication::instance());
        return made;
    }();
    return *ticker;
}

MinuteTicker::MinuteTicker()
{
    m_timer.setInterval(60 * 1000);
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MinuteTicker::ticked);
    m_timer.start();
}

} // namespace tessaline
