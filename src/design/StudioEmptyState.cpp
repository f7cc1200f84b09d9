#include "design/StudioEmptyState.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/StudioActionButton.h"
#include "design/StudioText.h"
#include "platform/AccessibilitySettings.h"
#include "platform/SymbolIcon.h"

#include <QEvent>
#include <QLabel>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaline {

namespace {
constexpr int columnWidth = 320;
constexpr int padding = 24;
constexpr int symbolSize = 25;
} // namespace

StudioEmptyState::StudioEmptyState(const QString &title, const QString &message, const QString &systemImage,
                                   const std::optional<QString> &actionTitle,
                                   const std::optional<QString> &actionSystemImage, std::function<void()> action,
                                   QWidget *parent)
    : QWidget(parent)
    , m_systemImage(systemImage)
    , m_symbol(new QLabel)
    , m_title(new StudioText(title, TessalineTypography::title(), SemanticColor::primary))
    , m_message(new StudioText(message, TessalineTypography::body(), SemanticColor::secondary))
{
    // The state takes the room its place gives it and keeps its column
    // centred there, whatever the layout or stack it stands in.
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *body = new QWidget(this);
    body->setMaximumWidth(columnWidth + 2 * padding);
    outer->addStretch(1);
    outer->addWidget(body, 1000);
    outer->addStretch(1);
    auto *column = new QVBoxLayout(body);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(10);

    // Extra height goes around the column, never between its rows.
    column->addStretch(1);
    m_symbol->setAlignment(Qt::AlignCenter);
    // Decoration only: assistive technology reads the title and message.
    m_symbol->setAccessibleName(QString());
    m_symbol->setAccessibleDescription(QString());
    m_symbol->setFixedHeight(symbolSize + 4);
    column->addWidget(m_symbol);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    texts->addWidget(m_title);
    // Wraps within the column and grows downwards to show every line.
    m_message->setAlignment(Qt::AlignHCenter);
    m_message->setWordWrap(true);
    texts->addWidget(m_message);
    column->addLayout(texts);

    if (actionTitle && action) {
        m_action = new StudioActionButton(*actionTitle, actionSystemImage.value_or(QString()), false,
                                          StudioControlProminence::accent, std::move(action));
        column->addSpacing(2);
        column->addWidget(m_action, 0, Qt::AlignHCenter);
    }
    column->addStretch(1);
    refreshSymbol();
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, &StudioEmptyState::refreshSymbol);
}

QString StudioEmptyState::title() const
{
    return m_title->text();
}

void StudioEmptyState::setTitle(const QString &title)
{
    m_title->setText(title);
}

QString StudioEmptyState::message() const
{
    return m_message->text();
}

void StudioEmptyState::setMessage(const QString &message)
{
    m_message->setText(message);
}

void StudioEmptyState::setSystemImage(const QString &systemName)
{
    if (m_systemImage == systemName)
        return;
    m_systemImage = systemName;
    refreshSymbol();
}

void StudioEmptyState::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refreshSymbol();
}

void StudioEmptyState::refreshSymbol()
{
    const QColor color = semanticColor(SemanticColor::tertiary, palette(), DesignEnvironment::current().increasedContrast);
    m_symbol->setPixmap(SymbolIcon::tintedPixmap(m_systemImage, QSize(symbolSize, symbolSize), devicePixelRatioF(), color));
}

bool StudioEmptyState::hasHeightForWidth() const
{
    return true;
}

int StudioEmptyState::heightForWidth(int width) const
{
    return layout()->totalHeightForWidth(std::min(width, maximumWidth()));
}

} // namespace tessaline
