#pragma once

#include "design/QuietCard.h"

#include <QUuid>

#include <functional>
#include <optional>

class QAbstractButton;

namespace tessaline {

// Stands where a referenced card cannot be found (in Recently Deleted, moved,
// or gone) and offers to remove the reference. Like the cards it stands in
// for, it takes the keyboard by Tab; Return or Space then presses its one
// button, "Remove".
class BoardMissingWritingReferenceView : public QuietCard
{
    Q_OBJECT
public:
    explicit BoardMissingWritingReferenceView(const std::optional<QUuid> &cardID, QWidget *parent = nullptr);

    std::optional<QUuid> cardID() const { return m_cardID; }

    std::function<void()> onRemove;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QAbstractButton *m_remove = nullptr;
    std::optional<QUuid> m_cardID;
};

} // namespace tessaline
