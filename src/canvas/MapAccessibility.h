#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QUuid>

#include <utility>

class QGraphicsView;

namespace tessaline {

class BoardMapScene;

// What assistive technologies find on the map: the viewport of the map's
// graphics view holds one element per connection between placed cards (in
// drawing order) and then one per placed card (oldest first), the way the
// map stacks them. The elements are read live from the scene, so a card
// moved, renamed or returned to the tray reads right at the next question.
class MapAccessibility : public QAccessibleWidget
{
public:
    // The name the map's viewport carries, so the app's accessibility
    // factory knows it.
    static QString viewportName();
    // Lets the map's viewports answer with this class; once per process.
    static void install();

    MapAccessibility(QWidget *viewport, QGraphicsView *view, BoardMapScene *scene);
    ~MapAccessibility() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;

    // The element of a card or a connection, as the map shows it now; null
    // when the map shows no such thing.
    QAccessibleInterface *cardElement(const QUuid &cardID) const;
    QAccessibleInterface *connectionElement(const QUuid &connectionID) const;

private:
    enum class Kind { connection, card };
    using Key = std::pair<int, QUuid>;

    QList<QAccessibleInterface *> elements() const;
    QAccessibleInterface *element(Kind kind, const QUuid &id) const;

    QPointer<QGraphicsView> m_view;
    QPointer<BoardMapScene> m_scene;
    mutable QHash<Key, QAccessible::Id> m_ids;
};

} // namespace tessaline
