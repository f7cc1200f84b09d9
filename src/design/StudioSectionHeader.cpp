#include "design/StudioSectionHeader.h"

#include "design/DesignTokens.h"
#include "design/StudioText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaline {

StudioSectionHeader::StudioSectionHeader(const QString &title, const std::optional<QString> &subtitle,
                                         QWidget *trailing, QWidget *parent)
    : QWidget(parent)
    // Children from the start: the subtitle is shown before the layouts
    // take it in, and shown without a parent it was a window of its own,
    // made and mapped on the display for a moment.
    , m_title(new StudioText(title, TessalineTypography::headline(), SemanticColor::primary, this))
    , m_subtitle(new StudioText(QString(), TessalineTypography::caption(), SemanticColor::secondary, this))
    , m_trailing(trailing)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    // The stack's 12 on each side of a spacer of at least 8.
    constexpr int stackSpacing = 12;
    constexpr int minimumSpacer = 8;
    row->setSpacing(0);

    auto *column = new QVBoxLayout;
    column->setSpacing(3);
    // Long titles wrap rather than widen the row.
    m_title->setWordWrap(true);
    m_subtitle->setWordWrap(true);
    column->addWidget(m_title);
    column->addWidget(m_subtitle);
    setSubtitle(subtitle);
    // The row lines up on the title's first line: a single-line control at
    // the end is centred on it, which puts its text on the title's baseline.
    const int titleLine = QFontMetrics(m_title->font()).height();
    const int trailingHeight = trailing ? trailing->sizeHint().height() : 0;
    column->setContentsMargins(0, std::max(0, (trailingHeight - titleLine) / 2), 0, 0);
    column->addStretch(1);
    // The texts take the row's room, so they wrap only when it is short;
    // the trailing control keeps its own size at the end.
    row->addLayout(column, 1);
    if (trailing) {
        row->addSpacing(stackSpacing + minimumSpacer + stackSpacing);
        trailing->setParent(this);
        auto *end = new QVBoxLayout;
        end->setContentsMargins(0, std::max(0, (titleLine - trailingHeight) / 2), 0, 0);
        end->addWidget(trailing);
        end->addStretch(1);
        row->addLayout(end, 0);
    }
    updateAccessibleName();
}

QString StudioSectionHeader::title() const
{
    return m_title->text();
}

void StudioSectionHeader::setTitle(const QString &title)
{
    m_title->setText(title);
    updateAccessibleName();
}

std::optional<QString> StudioSectionHeader::subtitle() const
{
    if (!m_hasSubtitle)
        return std::nullopt;
    return m_subtitle->text();
}

void StudioSectionHeader::setSubtitle(const std::optional<QString> &subtitle)
{
    m_hasSubtitle = subtitle.has_value();
    m_subtitle->setText(subtitle.value_or(QString()));
    m_subtitle->setVisible(m_hasSubtitle);
    updateAccessibleName();
}

void StudioSectionHeader::updateAccessibleName()
{
    setAccessibleName(m_hasSubtitle ? m_title->text() + QStringLiteral(", ") + m_subtitle->text() : m_title->text());
}

} // namespace tessaline
