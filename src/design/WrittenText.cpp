#include "design/WrittenText.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace tessaline {

namespace {

class ShiftReturnFilter : public QObject
{
public:
    explicit ShiftReturnFilter(QPlainTextEdit *editor) : QObject(editor), m_editor(editor) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_editor || event->type() != QEvent::KeyPress || m_editor->isReadOnly())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::ShiftModifier)
            return false;
        m_editor->insertPlainText(QStringLiteral("\n"));
        return true;
    }

private:
    QPlainTextEdit *m_editor;
};

} // namespace

QString writtenText(const QTextDocument *document)
{
    QString text = document->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void breakLinesOnShiftReturn(QPlainTextEdit *editor)
{
    editor->installEventFilter(new ShiftReturnFilter(editor));
}

} // namespace tessaline
