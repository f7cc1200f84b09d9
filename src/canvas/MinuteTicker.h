#pragma once

#include <QObject>
#include <QTimer>

namespace tessaline {

// One timer for every relative time the map shows ("5 minutes ago"), so
// that thousands of cards do not each keep a timer of their own.
class MinuteTicker : public QObject
{
    Q_OBJECT
public:
    static MinuteTicker &shared();

Q_SIGNALS:
    void ticked();

private:
    MinuteTicker();
    QTimer m_timer;
};

} // namespace tessaline
