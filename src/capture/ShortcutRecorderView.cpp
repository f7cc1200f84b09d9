#include "capture/ShortcutRecorderView.h"

#include "platform/SymbolIcon.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace tessaline {

ShortcutRecorderView::ShortcutRecorderView(const QString &accessibleLabel, QWidget *parent)
    : QWidget(parent)
{
    m_model.setAccessibleLabel(accessibleLabel);
    m_control = new ShortcutRecorderControl(m_model, this);
    m_clearButton = new QToolButton(this);
    m_clearButton->setAutoRaise(true);
    m_clearButton->setIcon(SymbolIcon::icon(QStringLiteral("xmark.circle")));
    m_clearButton->setToolTip(m_model.clearButtonTitle());
    m_clearButton->setAccessibleName(m_model.clearButtonTitle());
    m_clearButton->setFocusPolicy(Qt::TabFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_control, 0, Qt::AlignVCenter);
    layout->addWidget(m_clearButton, 0, Qt::AlignVCenter);
    layout->addStretch(1);

    connect(m_clearButton, &QToolButton::clicked, &m_model, &ShortcutRecorderModel::clear);
    connect(&m_model, &ShortcutRecorderModel::committedShortcutChanged, this, &ShortcutRecorderView::refreshClearButton);
    refreshClearButton();
}

void ShortcutRecorderView::setShortcut(const std::optional<GlobalShortcut> &shortcut)
{
    m_model.setCommittedShortcut(shortcut);
}

void ShortcutRecorderView::refreshClearButton()
{
    m_clearButton->setEnabled(m_model.canClear());
}

} // namespace tessaline
