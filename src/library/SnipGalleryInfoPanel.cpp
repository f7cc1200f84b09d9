#include "library/SnipGalleryInfoPanel.h"

#include "design/DesignTokens.h"
#include "design/StudioText.h"
#include "library/SnipGalleryModel.h"
#include "model/CanvasCard.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/LibraryQuery.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaline {

namespace {

StudioText *selectableText(const QString &text, const QFont &font, SemanticColor colour)
{
    auto *label = new StudioText(text, font, colour);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Selecting must not take the keyboard from the gallery's keys.
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

StudioText *sectionTitle(const QString &text)
{
    return new StudioText(text, TessalineTypography::systemFont(13, QFont::DemiBold), SemanticColor::secondary);
}

void clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            delete widget;
        else if (QLayout *inner = item->layout())
            clearLayout(inner);
        delete item;
    }
}

} // namespace

SnipGalleryInfoPanel::SnipGalleryInfoPanel(SnipGalleryModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_column(new QVBoxLayout(this))
{
    m_column->setContentsMargins(18, 18, 18, 18);
    m_column->setSpacing(20);
    setFocusPolicy(Qt::NoFocus);
    rebuild();
}

void SnipGalleryInfoPanel::rebuild()
{
    clearLayout(m_column);
    m_rows.clear();
    m_sections.clear();
    const CanvasCard *card = m_model.currentCard();
    if (!card) {
        m_column->addStretch(1);
        return;
    }

    // Header: the title and, when the note is known, the note.
    auto *header = new QVBoxLayout;
    header->setSpacing(5);
    header->addWidget(selectableText(card->displayTitle(), TessalineTypography::systemFont(14, QFont::DemiBold),
                                     SemanticColor::label));
    if (const std::optional<QString> note = SnipGalleryModel::noteTitle(*card, m_model.library().boards())) {
        auto *line = new QHBoxLayout;
        line->setSpacing(4);
        auto *symbol = new QLabel;
        symbol->setPixmap(SymbolIcon::icon(QStringLiteral("rectangle.3.group")).pixmap(QSize(11, 11)));
        line->addWidget(symbol);
        auto *name = new StudioText(*note, TessalineTypography::systemFont(11, QFont::Medium), SemanticColor::secondary);
        name->setWordWrap(true);
        line->addWidget(name, 1);
        header->addLayout(line);
    }
    m_column->addLayout(header);

    if (!isBlank(card->contextText())) {
        auto *context = new QVBoxLayout;
        context->setSpacing(9);
        context->addWidget(sectionTitle(tr("Context")));
        context->addWidget(selectableText(card->contextText(), TessalineTypography::systemFont(13, QFont::Normal),
                                          SemanticColor::label));
        m_column->addLayout(context);
        m_sections.append(tr("Context"));
    }

    auto *details = new QVBoxLayout;
    details->setSpacing(9);
    details->addWidget(sectionTitle(tr("Details")));
    m_sections.append(tr("Details"));
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(1, 1);
    const QFont rowFont = TessalineTypography::systemFont(11, QFont::Medium);
    int row = 0;
    for (const SnipGalleryModel::InfoRow &info : SnipGalleryModel::infoRows(*card, m_model.pictureSize())) {
        auto *label = new StudioText(info.label, rowFont, SemanticColor::secondary);
        auto *value = selectableText(info.value, rowFont, SemanticColor::label);
        value->setAlignment(Qt::AlignRight | Qt::AlignTop);
        grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(value, row, 1);
        m_rows.append(std::make_pair(label, value));
        ++row;
    }
    details->addLayout(grid);
    m_column->addLayout(details);

    if (!isBlank(card->ocrText())) {
        auto *recognized = new QVBoxLayout;
        recognized->setSpacing(8);
        auto *disclosure = new QToolButton;
        disclosure->setText(tr("Recognized text"));
        disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        disclosure->setAutoRaise(true);
        disclosure->setFocusPolicy(Qt::NoFocus);
        disclosure->setFont(TessalineTypography::systemFont(13, QFont::DemiBold));
        disclosure->setArrowType(m_recognizedTextExpanded ? Qt::DownArrow : Qt::RightArrow);
        recognized->addWidget(disclosure, 0, Qt::AlignLeft);
        auto *text = selectableText(card->ocrText(), TessalineTypography::systemFont(11, QFont::Normal),
                                    SemanticColor::secondary);
        text->setVisible(m_recognizedTextExpanded);
        recognized->addWidget(text);
        connect(disclosure, &QToolButton::clicked, this, [this, disclosure, text] {
            m_recognizedTextExpanded = !m_recognizedTextExpanded;
            disclosure->setArrowType(m_recognizedTextExpanded ? Qt::DownArrow : Qt::RightArrow);
            text->setVisible(m_recognizedTextExpanded);
        });
        m_column->addLayout(recognized);
        m_sections.append(tr("Recognized text"));
    }
    m_column->addStretch(1);
}

QList<std::pair<QString, QString>> SnipGalleryInfoPanel::shownRows() const
{
    QList<std::pair<QString, QString>> rows;
    for (const auto &[label, value] : m_rows)
        rows.append({label->text(), value->text()});
    return rows;
}

QStringList SnipGalleryInfoPanel::sectionTitles() const
{
    return m_sections;
}

} // namespace tessaline
