#include "design/StudioLoadingState.h"

#include "design/DesignTokens.h"
#include "design/StudioSpinner.h"
#include "design/StudioText.h"

#include <QVBoxLayout>

#include <algorithm>

namespace tessaline {

namespace {
constexpr int columnWidth = 320;
constexpr int padding = 24;
} // namespace

StudioLoadingState::StudioLoadingState(const QString &title, const std::optional<QString> &message, QWidget *parent)
    : QWidget(parent)
    , m_spinner(new StudioSpinner)
    , m_title(new StudioText(title, TessalineTypography::title(), SemanticColor::primary))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(10);
    // Extra height goes around the column, never between its rows.
    column->addStretch(1);
    column->addWidget(m_spinner, 0, Qt::AlignHCenter);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    column->addWidget(m_title);
    if (message) {
        m_message = new StudioText(*message, TessalineTypography::body(), SemanticColor::secondary);
        m_message->setAlignment(Qt::AlignHCenter);
        m_message->setWordWrap(true);
        column->addWidget(m_message);
    }
    column->addStretch(1);
    setMaximumWidth(columnWidth + 2 * padding);
    // One item for assistive technology: the title and message together.
    setAccessibleName(message ? title + QStringLiteral(", ") + *message : title);
    m_spinner->setAccessibleName(QString());
}

bool StudioLoadingState::hasHeightForWidth() const
{
    return true;
}

int StudioLoadingState::heightForWidth(int width) const
{
    return layout()->totalHeightForWidth(std::min(width, maximumWidth()));
}

} // namespace tessaline
