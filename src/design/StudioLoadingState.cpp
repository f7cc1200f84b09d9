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
    , m_message(new StudioText(QString(), TessalineTypography::body(), SemanticColor::secondary))
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
    m_message->setAlignment(Qt::AlignHCenter);
    m_message->setWordWrap(true);
    column->addWidget(m_message);
    column->addStretch(1);
    setMaximumWidth(columnWidth + 2 * padding);
    m_spinner->setAccessibleName(QString());
    setMessage(message);
}

QString StudioLoadingState::title() const
{
    return m_title->text();
}

void StudioLoadingState::setTitle(const QString &title)
{
    m_title->setText(title);
    updateAccessibleName();
}

std::optional<QString> StudioLoadingState::message() const
{
    if (!m_hasMessage)
        return std::nullopt;
    return m_message->text();
}

void StudioLoadingState::setMessage(const std::optional<QString> &message)
{
    m_hasMessage = message.has_value();
    m_message->setText(message.value_or(QString()));
    m_message->setVisible(m_hasMessage);
    updateAccessibleName();
}

// One item for assistive technology: the title and message together.
void StudioLoadingState::updateAccessibleName()
{
    setAccessibleName(m_hasMessage ? m_title->text() + QStringLiteral(", ") + m_message->text() : m_title->text());
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
