#include "canvas/MapAccessibility.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapScene.h"
#include "canvas/CardItem.h"
#include "canvas/CardPresentation.h"
#include "canvas/ConnectionGeometry.h"
#include "canvas/ConnectionItem.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"

#include <QGraphicsView>

namespace tessaline {

namespace {

// The element of a connection: a small invisible box where its label sits.
constexpr QSizeF connectionElementSize(44, 24);

QAccessibleInterface *mapFactory(const QString &, QObject *object)
{
    auto *viewport = qobject_cast<QWidget *>(object);
    if (!viewport || viewport->objectName() != MapAccessibility::viewportName())
        return nullptr;
    auto *view = qobject_cast<QGraphicsView *>(viewport->parentWidget());
    auto *scene = view ? qobject_cast<BoardMapScene *>(view->scene()) : nullptr;
    return scene ? new MapAccessibility(viewport, view, scene) : nullptr;
}

} // namespace

// One card or connection of the map. It holds only what names it and looks
// the rest up in the scene at each question.
class MapElementAccessibility : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    MapElementAccessibility(QGraphicsView *view, BoardMapScene *scene, int kind, const QUuid &id)
        : m_view(view), m_scene(scene), m_kind(kind), m_id(id)
    {
    }

    bool isValid() const override { return m_view && m_scene && (cardItem() || connectionItem()); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_view ? QAccessible::queryAccessibleInterface(m_view->viewport()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}

    QAccessible::Role role() const override
    {
        return isCard() ? QAccessible::ListItem : QAccessible::Graphic;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        if (const CardItem *item = cardItem()) {
            state.focusable = true;
            state.focused = item->hasFocus();
            state.selectable = true;
            state.selected = item->isCardSelected();
        }
        return state;
    }

    QString text(QAccessible::Text which) const override
    {
        if (const CardItem *item = cardItem()) {
            const CanvasCard *card = item->card();
            if (!card)
                return {};
            switch (which) {
            case QAccessible::Name:
                return CardPresentation::of(*card).accessibilityLabel;
            case QAccessible::Value:
                return CardPresentation::accessibilityValue(item->isCardSelected());
            case QAccessible::Description:
            case QAccessible::Help:
                return CardPresentation::accessibilityHint();
            default:
                return {};
            }
        }
        const ConnectionItem *line = connectionItem();
        if (!line)
            return {};
        switch (which) {
        case QAccessible::Name: {
            const CardItem *source = m_scene->cardItem(line->sourceCardID());
            const CardItem *destination = m_scene->cardItem(line->destinationCardID());
            if (!source || !destination || !source->card() || !destination->card())
                return {};
            return ConnectionTexts::accessibilityLabel(source->card()->displayTitle(),
                                                       destination->card()->displayTitle(), line->label());
        }
        case QAccessible::Description:
        case QAccessible::Help:
            return ConnectionTexts::accessibilityHint();
        default:
            return {};
        }
    }

    QRect rect() const override
    {
        if (!m_view)
            return {};
        QRectF area;
        if (const CardItem *item = cardItem()) {
            area = item->shownFrame();
        } else if (const ConnectionItem *line = connectionItem()) {
            area = QRectF(QPointF(), connectionElementSize);
            area.moveCenter(line->curve().midpoint());
        }
        const QRect onView = m_view->viewportTransform().mapRect(area).toRect();
        return QRect(m_view->viewport()->mapToGlobal(onView.topLeft()), onView.size());
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && isCard())
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    // A card's two actions; a connection has none.
    QStringList actionNames() const override
    {
        return isCard() ? QStringList{selectAction(), openAction()} : QStringList();
    }
    QString localizedActionDescription(const QString &name) const override { return name; }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
    void doAction(const QString &name) override
    {
        const CardItem *item = cardItem();
        CanvasCard *card = item ? item->card() : nullptr;
        if (!card)
            return;
        // Selecting this way leaves the keyboard focus where it is.
        if (name == selectAction())
            m_scene->model().selectCard(*card, false);
        else if (name == openAction())
            m_scene->model().openCard(*card);
    }

    static QString selectAction() { return QStringLiteral("Select"); }
    static QString openAction() { return QStringLiteral("Open"); }

private:
    bool isCard() const { return m_kind == 1; }
    CardItem *cardItem() const { return isCard() && m_scene ? m_scene->cardItem(m_id) : nullptr; }
    ConnectionItem *connectionItem() const { return !isCard() && m_scene ? m_scene->connectionItem(m_id) : nullptr; }

    QPointer<QGraphicsView> m_view;
    QPointer<BoardMapScene> m_scene;
    int m_kind;
    QUuid m_id;
};

QString MapAccessibility::viewportName()
{
    return QStringLiteral("BoardMapViewport");
}

void MapAccessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&mapFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

MapAccessibility::MapAccessibility(QWidget *viewport, QGraphicsView *view, BoardMapScene *scene)
    : QAccessibleWidget(viewport, QAccessible::Canvas)
    , m_view(view)
    , m_scene(scene)
{
}

MapAccessibility::~MapAccessibility()
{
    for (const QAccessible::Id id : std::as_const(m_ids))
        QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface *MapAccessibility::element(Kind kind, const QUuid &id) const
{
    const Key key(int(kind), id);
    if (const auto found = m_ids.constFind(key); found != m_ids.cend())
        return QAccessible::accessibleInterface(*found);
    auto *made = new MapElementAccessibility(m_view, m_scene, int(kind), id);
    m_ids.insert(key, QAccessible::registerAccessibleInterface(made));
    return made;
}

QList<QAccessibleInterface *> MapAccessibility::elements() const
{
    QList<QAccessibleInterface *> shown;
    if (!m_scene)
        return shown;
    // The scene follows the library a moment later; both kinds of element
    // are taken from the same reading of it.
    QSet<QUuid> placed;
    const QList<CanvasCard *> cards = m_scene->model().placedCards();
    for (const CanvasCard *card : cards) {
        if (m_scene->cardItem(card->id()))
            placed.insert(card->id());
    }
    QSet<Key> current;
    for (const Connection *connection : m_scene->model().boardConnections()) {
        const Key key(int(Kind::connection), connection->id());
        if (!m_scene->connectionItem(connection->id()) || !placed.contains(connection->sourceCardID())
            || !placed.contains(connection->destinationCardID()) || current.contains(key))
            continue;
        current.insert(key);
        shown.append(element(Kind::connection, connection->id()));
    }
    for (const CanvasCard *card : cards) {
        const Key key(int(Kind::card), card->id());
        if (!placed.contains(card->id()) || current.contains(key))
            continue;
        current.insert(key);
        shown.append(element(Kind::card, card->id()));
    }
    // Elements of things the map no longer shows are let go.
    for (auto it = m_ids.begin(); it != m_ids.end();) {
        if (current.contains(it.key())) {
            ++it;
            continue;
        }
        QAccessible::deleteAccessibleInterface(*it);
        it = m_ids.erase(it);
    }
    return shown;
}

int MapAccessibility::childCount() const
{
    return QAccessibleWidget::childCount() + int(elements().size());
}

QAccessibleInterface *MapAccessibility::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    if (index < widgets)
        return QAccessibleWidget::child(index);
    return elements().value(index - widgets);
}

int MapAccessibility::indexOfChild(const QAccessibleInterface *child) const
{
    const int index = int(elements().indexOf(child));
    return index < 0 ? QAccessibleWidget::indexOfChild(child) : QAccessibleWidget::childCount() + index;
}

QAccessibleInterface *MapAccessibility::childAt(int x, int y) const
{
    // Cards lie over connections and later cards over earlier ones.
    const QList<QAccessibleInterface *> shown = elements();
    for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
        if ((*it)->rect().contains(x, y))
            return *it;
    }
    return QAccessibleWidget::childAt(x, y);
}

QAccessibleInterface *MapAccessibility::cardElement(const QUuid &cardID) const
{
    elements();
    const auto found = m_ids.constFind(Key(int(Kind::card), cardID));
    return found == m_ids.cend() ? nullptr : QAccessible::accessibleInterface(*found);
}

QAccessibleInterface *MapAccessibility::connectionElement(const QUuid &connectionID) const
{
    elements();
    const auto found = m_ids.constFind(Key(int(Kind::connection), connectionID));
    return found == m_ids.cend() ? nullptr : QAccessible::accessibleInterface(*found);
}

} // namespace tessaline
