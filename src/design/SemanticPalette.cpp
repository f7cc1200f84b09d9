#include "design/SemanticPalette.h"

#include "design/DesignEnvironment.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace tessaline {
namespace {

// Lives as the widget's child. The widget's own roles are set explicitly, so
// Qt no longer tells it when the surroundings change theirs; the parent's
// palette (or the application's, for a window) is watched instead.
class SemanticPaletteKeeper : public QObject
{
public:
    SemanticPaletteKeeper(QWidget *widget, QList<SemanticRole> roles)
        : QObject(widget)
        , m_widget(widget)
        , m_roles(std::move(roles))
    {
        widget->installEventFilter(this);
        connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, [this] { apply(); });
        watchParent();
        apply();
    }

    void setRoles(QList<SemanticRole> roles)
    {
        for (const SemanticRole &role : roles) {
            const auto same = std::find_if(m_roles.begin(), m_roles.end(),
                                           [&](const SemanticRole &kept) { return kept.role == role.role; });
            if (same != m_roles.end())
                *same = role;
            else
                m_roles.append(role);
        }
        apply();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget) {
            if (event->type() == QEvent::ParentChange) {
                watchParent();
                apply();
            } else if (event->type() == QEvent::ApplicationPaletteChange && !m_parent) {
                apply();
            }
        } else if (watched == m_parent && event->type() == QEvent::PaletteChange) {
            apply();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void watchParent()
    {
        QWidget *parent = m_widget->parentWidget();
        if (m_parent == parent)
            return;
        if (m_parent)
            m_parent->removeEventFilter(this);
        m_parent = parent;
        if (m_parent)
            m_parent->installEventFilter(this);
    }

    void apply()
    {
        if (m_applying)
            return;
        m_applying = true;
        // Read from the surroundings, not from the widget's own palette,
        // which holds the colours set last time.
        const QPalette source = m_parent ? m_parent->palette() : QApplication::palette(m_widget);
        const bool contrast = DesignEnvironment::current().increasedContrast;
        QPalette own = m_widget->palette();
        for (const SemanticRole &role : std::as_const(m_roles))
            own.setColor(role.role, resolveColor(role.color, source, contrast));
        m_widget->setPalette(own);
        m_applying = false;
    }

    QWidget *m_widget;
    QPointer<QWidget> m_parent;
    QList<SemanticRole> m_roles;
    bool m_applying = false;
};

} // namespace

void keepSemanticColors(QWidget *widget, std::initializer_list<SemanticRole> roles)
{
    if (!widget)
        return;
    for (QObject *child : widget->children()) {
        if (auto *keeper = dynamic_cast<SemanticPaletteKeeper *>(child)) {
            keeper->setRoles(QList<SemanticRole>(roles));
            return;
        }
    }
    new SemanticPaletteKeeper(widget, QList<SemanticRole>(roles));
}

} // namespace tessaline
