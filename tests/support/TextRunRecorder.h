#pragma once

#include <QGuiApplication>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QString>
#include <QTextItem>
#include <QTransform>
#include <QWidget>
#include <QtMath>

namespace tessaline::testing {

// A paint device that draws nothing and keeps every run of text painted on
// it, where it starts and which way it runs, in the order drawn.
class TextRunRecorder : public QPaintDevice
{
public:
    struct Run
    {
        QString text;
        qreal x = 0;
        qreal y = 0;
        bool rightToLeft = false;
    };

    explicit TextRunRecorder(QSize size = QSize(1200, 800)) : m_size(size), m_engine(this) {}

    QPaintEngine *paintEngine() const override { return &m_engine; }

    // Paints `widget` here as it paints on screen. Rendered into another
    // device a widget shares that device's painter, whose direction would
    // follow each text; its own painter lays everything out left to right.
    void paint(QWidget *widget)
    {
        QPainter painter(this);
        painter.setLayoutDirection(widget->layoutDirection());
        widget->render(&painter);
    }
    const QList<Run> &runs() const { return m_runs; }

    // How many runs of text were cut short with an ellipsis, and how many
    // of those show it at their left end, where right-to-left text runs on,
    // rather than beside their first letter.
    struct Cuts
    {
        int cut = 0;
        int atLeftEnd = 0;
    };
    Cuts cuts() const
    {
        Cuts cuts;
        for (const Run &ellipsis : m_runs) {
            if (!ellipsis.text.contains(QChar(0x2026)))
                continue;
            ++cuts.cut;
            // Within one right-to-left run the ellipsis, last in reading
            // order, is drawn leftmost.
            bool atLeftEnd = ellipsis.rightToLeft;
            if (!atLeftEnd) {
                bool textOnItsLine = false;
                bool allRightOfIt = true;
                for (const Run &run : m_runs) {
                    if (&run == &ellipsis || !run.rightToLeft || qAbs(run.y - ellipsis.y) > 0.5)
                        continue;
                    textOnItsLine = true;
                    allRightOfIt = allRightOfIt && run.x > ellipsis.x;
                }
                atLeftEnd = textOnItsLine && allRightOfIt;
            }
            cuts.atLeftEnd += atLeftEnd ? 1 : 0;
        }
        return cuts;
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() / 4;
        case PdmHeightMM:
            return m_size.height() / 4;
        case PdmNumColors:
            return 0x7fffffff;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return int(screen->logicalDotsPerInchX());
        case PdmDpiY:
        case PdmPhysicalDpiY:
            return int(screen->logicalDotsPerInchY());
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    class Engine : public QPaintEngine
    {
    public:
        explicit Engine(TextRunRecorder *device) : QPaintEngine(AllFeatures), m_device(device) {}
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyTransform)
                m_transform = state.transform();
        }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
        void drawPath(const QPainterPath &) override {}
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF &p, const QTextItem &item) override
        {
            const QPointF at = m_transform.map(p);
            m_device->m_runs.append({item.text(), at.x(), at.y(), bool(item.renderFlags() & QTextItem::RightToLeft)});
        }
        Type type() const override { return User; }

    private:
        TextRunRecorder *m_device;
        QTransform m_transform;
    };

    QSize m_size;
    mutable Engine m_engine;
    QList<Run> m_runs;
};

} // namespace tessaline::testing
