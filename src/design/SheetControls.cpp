#include "design/SheetControls.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tessaline {

namespace {

class ReturnKeyFilter : public QObject
{
public:
    ReturnKeyFilter(QPlainTextEdit *editor, std::function<void()> submit)
        : QObject(editor), m_editor(editor), m_submit(std::move(submit))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_editor || event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (!isReturnKey(key))
            return false;
        if (key->modifiers() & Qt::ShiftModifier)
            m_editor->insertPlainText(QStringLiteral("\n"));
        else
            m_submit();
        return true;
    }

private:
    QPlainTextEdit *m_editor;
    std::function<void()> m_submit;
};

} // namespace

QHBoxLayout *sheetTitleRow(const QString &title, const QString &systemImage, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new SymbolLabel(systemImage, 18, SemanticColor::label, parent));
    row->addWidget(
        new StudioText(title, TessalineTypography::systemFont(18, QFont::DemiBold), SemanticColor::label, parent));
    row->addStretch(1);
    return row;
}

SheetButtons addSheetButtons(QVBoxLayout *column, const QString &primaryTitle, QWidget *sheet)
{
    auto *divider = new StudioDivider(Qt::Horizontal, sheet);
    column->addWidget(divider);

    SheetButtons buttons;
    buttons.row = new QHBoxLayout;
    buttons.row->addStretch(1);
    buttons.cancel = new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, sheet);
    buttons.cancel->setTracksHover(true);
    buttons.cancel->setAutoDefault(false);
    buttons.primary = new TessalinePrimaryButton(primaryTitle, QString(), sheet);
    buttons.primary->setAutoDefault(false);
    buttons.row->addWidget(buttons.cancel);
    buttons.row->addWidget(buttons.primary);
    column->addLayout(buttons.row);
    return buttons;
}

bool isReturnKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

void submitOnReturn(QPlainTextEdit *editor, std::function<void()> submit)
{
    editor->installEventFilter(new ReturnKeyFilter(editor, std::move(submit)));
    tabLeavesEditor(editor);
}

void tabLeavesEditor(QPlainTextEdit *editor)
{
    editor->setTabChangesFocus(true);
}

} // namespace tessaline
