#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPaintEvent>
#include <QRect>
#include <QWidget>

#include <algorithm>

namespace tessaline::testing {

// The rectangles a widget is asked to paint from now on, each rectangle of
// each paint event's region on its own.
struct PaintedRects : QObject
{
    explicit PaintedRects(QWidget *widget) { widget->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                rects.append(rect);
        }
        return false;
    }

    bool covers(const QRect &rect) const
    {
        return std::ranges::any_of(rects, [&](const QRect &painted) { return painted.contains(rect); });
    }

    QList<QRect> rects;
};

} // namespace tessaline::testing
