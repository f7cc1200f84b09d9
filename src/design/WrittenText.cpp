#include "design/WrittenText.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <QWidget>

namespace tessaline {

namespace {

class ShiftReturnFilter : public QObject
{
public:
    explicit ShiftReturnFilter(QWidget *editor) : QObject(editor), m_editor(editor) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_editor || event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || !key->modifiers().testFlag(Qt::ShiftModifier))
            return false;
        // The editor takes the same press without Shift, as Return; one it
        // leaves (read only) goes on as it came.
        QKeyEvent plain(key->type(), key->key(), key->modifiers() & ~Qt::ShiftModifier, key->text(),
                        key->isAutoRepeat(), ushort(key->count()));
        QCoreApplication::sendEvent(m_editor, &plain);
        return plain.isAccepted();
    }

private:
    QWidget *m_editor;
};

} // namespace

QString writtenText(const QTextDocument *document)
{
    QString text = document->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void breakLinesOnShiftReturn(QWidget *editor)
{
    editor->installEventFilter(new ShiftReturnFilter(editor));
}

} // namespace tessaline
