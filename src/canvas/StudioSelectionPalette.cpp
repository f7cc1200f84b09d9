#include "canvas/StudioSelectionPalette.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/StudioDivider.h"
#include "design/StudioIconButton.h"
#include "design/SymbolLabel.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

namespace tessaline {

namespace {

QWidget *divider(QWidget *parent)
{
    auto *holder = new QWidget(parent);
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(3, 0, 3, 0);
    auto *line = new StudioDivider(Qt::Vertical, holder);
    line->setFixedHeight(18);
    layout->addWidget(line);
    return holder;
}

} // namespace

StudioSelectionPalette::StudioSelectionPalette(Handler handler, QWidget *parent)
    : FunctionalSurface(FunctionalSurfaceRole::contextualPalette, std::nullopt, parent)
    , m_handler(std::move(handler))
{
    auto *content = new QWidget(this);
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(5, 5, 5, 5);
    row->setSpacing(2);

    m_caption = new QWidget(content);
    auto *captionRow = new QHBoxLayout(m_caption);
    captionRow->setContentsMargins(7, 0, 7, 0);
    captionRow->setSpacing(4);
    captionRow->addWidget(new SymbolLabel(QStringLiteral("square.on.square"), 11, SemanticColor::secondary, m_caption));
    m_count = new QLabel(m_caption);
    m_count->setTextFormat(Qt::PlainText);
    m_count->setFont(TessalineTypography::systemFont(11, QFont::Medium));
    keepSemanticColors(m_count, {{QPalette::WindowText, {SemanticColor::secondary}}});
    captionRow->addWidget(m_count);
    row->addWidget(m_caption);
    m_captionDivider = divider(content);
    row->addWidget(m_captionDivider);

    const QList<StudioSelectionAction> actions = allSelectionActions();
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const StudioSelectionAction action = actions[i];
        if (action == StudioSelectionAction::more && i > 0)
            row->addWidget(divider(content));
        auto *button = new StudioIconButton(title(action), systemImage(action), false,
                                            StudioControlProminence::standard,
                                            [this, action] {
                                                if (m_handler)
                                                    m_handler(action);
                                            },
                                            content);
        m_buttons.insert(action, button);
        row->addWidget(button);
    }
    setContent(content);
    setState(0, {}, true);
}

void StudioSelectionPalette::setState(qsizetype selectedCount, const QSet<StudioSelectionAction> &disabled,
                                      bool assistantAvailable)
{
    const bool caption = SelectionPaletteTexts::showsCaption(selectedCount);
    m_caption->setVisible(caption);
    m_captionDivider->setVisible(caption);
    if (caption) {
        // The count beside the "square.on.square" symbol.
        const QString description = SelectionPaletteTexts::captionDescription(selectedCount);
        m_count->setText(QString::number(selectedCount));
        m_caption->setToolTip(description);
        m_caption->setAccessibleName(description);
    }
    for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it) {
        it.value()->setEnabled(!disabled.contains(it.key()));
        it.value()->setToolTip(SelectionPaletteTexts::tooltip(it.key(), assistantAvailable));
    }
    adjustSize();
}

} // namespace tessaline
