#include "notes/WritingAccessibility.h"

#include "notes/BoardMissingWritingReferenceView.h"
#include "notes/BoardWritingReferenceView.h"
#include "notes/WritingReferencePresentation.h"

#include <QAccessibleWidget>

namespace tessaline {

namespace {

const QString openAction = QStringLiteral("Open original");
const QString removeAction = QStringLiteral("Remove reference");

class ReferenceAccessible : public QAccessibleWidget
{
public:
    explicit ReferenceAccessible(BoardWritingReferenceView *view)
        : QAccessibleWidget(view, QAccessible::Grouping)
    {
    }

    QStringList actionNames() const override { return {openAction, removeAction}; }

    void doAction(const QString &name) override
    {
        auto *view = static_cast<BoardWritingReferenceView *>(widget());
        if (name == openAction && view->onOpen)
            view->onOpen();
        else if (name == removeAction && view->onRemove)
            view->onRemove();
    }
};

class MissingReferenceAccessible : public QAccessibleWidget
{
public:
    explicit MissingReferenceAccessible(BoardMissingWritingReferenceView *view)
        : QAccessibleWidget(view, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        auto *view = static_cast<BoardMissingWritingReferenceView *>(widget());
        if (kind == QAccessible::Value)
            return WritingReferencePresentation::missingAccessibleValue(view->cardID());
        return QAccessibleWidget::text(kind);
    }

    // One combined element: its parts are not read one by one.
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }

    QStringList actionNames() const override { return {removeAction}; }

    void doAction(const QString &name) override
    {
        auto *view = static_cast<BoardMissingWritingReferenceView *>(widget());
        if (name == removeAction && view->onRemove)
            view->onRemove();
    }
};

QAccessibleInterface *writingAccessibleFactory(const QString &, QObject *object)
{
    if (auto *reference = qobject_cast<BoardWritingReferenceView *>(object))
        return new ReferenceAccessible(reference);
    if (auto *missing = qobject_cast<BoardMissingWritingReferenceView *>(object))
        return new MissingReferenceAccessible(missing);
    return nullptr;
}

} // namespace

void installWritingAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(writingAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace tessaline
