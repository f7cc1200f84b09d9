#pragma once

#include "design/QuietCard.h"

#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

// Stands where a referenced card cannot be found (in Recently Deleted, moved,
// or gone) and offers to remove the reference.
class BoardMissingWritingReferenceView : public QuietCard
{
    Q_OBJECT
public:
    explicit BoardMissingWritingReferenceView(const std::optional<QUuid> &cardID, QWidget *parent = nullptr);

    std::optional<QUuid> cardID() const { return m_cardID; }

    std::function<void()> onRemove;

private:
    std::optional<QUuid> m_cardID;
};

} // namespace tessaline
