#include "shell/DeferredIconStyle.h"

#include <QApplication>
#include <QIconEngine>
#include <QPointer>
#include <QStyleOption>

#include <functional>
#include <optional>

namespace tessaline {
namespace {

// An icon made at its first use: its size asked for, or a pixmap of it.
class DeferredIconEngine : public QIconEngine
{
public:
    explicit DeferredIconEngine(std::function<QIcon()> make)
        : m_make(std::move(make))
    {
    }

    // Each call is handed on as the engine within would have it: QIcon
    // scales sizes by the screen's ratio before they reach an engine, so
    // the icon within is asked at a ratio of one.
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size / scale, scale, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return pixmap(size, mode, state).size();
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    // Asked as the button is made, and every style gives this icon.
    bool isNull() override { return m_icon ? m_icon->isNull() : false; }
    QString key() const override { return QStringLiteral("tessaline.deferred"); }
    QIconEngine *clone() const override
    {
        auto *copy = new DeferredIconEngine(m_make);
        copy->m_icon = m_icon;
        return copy;
    }

private:
    const QIcon &icon()
    {
        if (!m_icon)
            m_icon = m_make();
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

} // namespace

DeferredIconStyle::DeferredIconStyle(const QString &key)
    : QProxyStyle(key)
{
}

QIcon DeferredIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                                      const QWidget *widget) const
{
    if (standardIcon != SP_ToolBarHorizontalExtensionButton && standardIcon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // Asked again as it was asked: the option is the caller's, gone by the
    // time the icon is read, and only its direction counts for these.
    std::optional<QStyleOption> shape;
    if (option) {
        shape.emplace();
        shape->direction = option->direction;
    }
    const QPointer<const QWidget> asker(widget);
    const QPointer<QStyle> base(baseStyle());
    return QIcon(new DeferredIconEngine([base, asker, shape, standardIcon] {
        return base ? base->standardIcon(standardIcon, shape ? &*shape : nullptr, asker.data()) : QIcon();
    }));
}

void DeferredIconStyle::install()
{
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()->name()));
}

} // namespace tessaline
