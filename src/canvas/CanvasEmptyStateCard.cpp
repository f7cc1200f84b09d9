#include "canvas/CanvasEmptyStateCard.h"

#include "canvas/BoardMapModel.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/StudioActionButton.h"
#include "design/SymbolLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tessaline {

CanvasEmptyStateCard::CanvasEmptyStateCard(Actions actions, QWidget *parent)
    : QuietCard(QuietCardTone::thought, false, QuietCardElevation::floating, 18, parent)
{
    auto *content = new QWidget;
    content->setFixedWidth(300);
    auto *stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new SymbolLabel(QStringLiteral("square.grid.2x2"), 14, SemanticColor::secondary, content));
    auto *title = new QLabel(BoardMapModel::emptyStateTitle(), content);
    title->setTextFormat(Qt::PlainText);
    title->setFont(TessalineTypography::systemFont(14, QFont::DemiBold));
    header->addWidget(title, 1);
    stack->addLayout(header);

    m_message = new QLabel(content);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setFont(TessalineTypography::body());
    keepSemanticColors(m_message, {{QPalette::WindowText, {SemanticColor::secondary}}});
    stack->addWidget(m_message);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_newThought = new StudioActionButton(QStringLiteral("New Thought"), QStringLiteral("square.and.pencil"), false,
                                          StudioControlProminence::standard, std::move(actions.newThought), content);
    m_placeLatest = new StudioActionButton(QStringLiteral("Place Latest"),
                                           QStringLiteral("arrow.down.right.and.arrow.up.left"), false,
                                           StudioControlProminence::accent, std::move(actions.placeLatest), content);
    m_captureRegion = new StudioActionButton(QStringLiteral("Capture Region"), QStringLiteral("viewfinder"), false,
                                             StudioControlProminence::accent, std::move(actions.captureRegion), content);
    buttons->addWidget(m_newThought);
    buttons->addWidget(m_placeLatest);
    buttons->addWidget(m_captureRegion);
    buttons->addStretch(1);
    stack->addLayout(buttons);

    setContent(content);
    setAccessibleName(BoardMapModel::emptyStateTitle());
}

void CanvasEmptyStateCard::setState(const QString &message, bool offersPlaceLatest)
{
    m_message->setText(message);
    // A wrapped label's size hint is one line tall; the card must hold all
    // of its lines at the content's fixed width.
    m_message->setMinimumHeight(m_message->heightForWidth(m_message->parentWidget()->width()));
    m_placeLatest->setVisible(offersPlaceLatest);
    m_captureRegion->setVisible(!offersPlaceLatest);
    adjustSize();
}

} // namespace tessaline
