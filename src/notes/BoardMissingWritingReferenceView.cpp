#include "notes/BoardMissingWritingReferenceView.h"

#include "design/DesignTokens.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "notes/WritingReferencePresentation.h"
#include "notes/WritingAccessibility.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace tessaline {

BoardMissingWritingReferenceView::BoardMissingWritingReferenceView(const std::optional<QUuid> &cardID, QWidget *parent)
    : QuietCard(QuietCardTone::thought, false, QuietCardElevation::flat,
                WritingReferencePresentation::missingContentPadding, parent)
    , m_cardID(cardID)
{
    installWritingAccessibility();
    setFocusPolicy(Qt::TabFocus);
    auto *content = new QWidget;
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(int(WritingReferencePresentation::missingRowSpacing));

    row->addWidget(new SymbolLabel(QStringLiteral("link.badge.plus"), 16, SemanticColor::secondary), 0, Qt::AlignVCenter);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(new StudioText(QStringLiteral("Reference unavailable"),
                                    TessalineTypography::systemFont(14, QFont::DemiBold), SemanticColor::label));
    auto *message = new StudioText(QStringLiteral("The original card is in Trash, moved, or no longer available."),
                                   TessalineTypography::systemFont(11, QFont::Medium), SemanticColor::secondary);
    message->setWordWrap(true);
    texts->addWidget(message);
    row->addLayout(texts, 1);

    auto *remove = new StudioCompactButton(QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("removeReferenceButton"));
    remove->setTracksHover(true);
    // Tab stops at the placeholder, whose Return presses this: the button is
    // no stop of its own, which the window's focus chain would reach out of
    // order.
    remove->setFocusPolicy(Qt::ClickFocus);
    connect(remove, &QAbstractButton::clicked, this, [this]() {
        if (onRemove)
            onRemove();
    });
    row->addWidget(remove, 0, Qt::AlignVCenter);
    m_remove = remove;
    setContent(content);

    setAccessibleName(QStringLiteral("Unavailable card reference"));
}

void BoardMissingWritingReferenceView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        // Pressed where it can be seen, as a click would.
        m_remove->animateClick();
        event->accept();
        return;
    }
    QuietCard::keyPressEvent(event);
}

} // namespace tessaline
