#include "notes/WritingParagraphEditor.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/TextInputDirection.h"
#include "design/WrittenText.h"

#include <QAbstractTextDocumentLayout>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace tessaline {

WritingParagraphEditor::WritingParagraphEditor(const QUuid &blockID, QWidget *parent)
    : QTextEdit(parent)
    , m_blockID(blockID)
{
    setAcceptRichText(false);
    breakLinesOnShiftReturn(this);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setFont(TessalineTypography::systemFont(fontSize, QFont::Normal));
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setStyleSheet(QString());
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    keepSemanticColors(this, {{QPalette::PlaceholderText, {SemanticColor::tertiary}}});

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    textInputDirection(this);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this]() { updateGeometry(); });
    // Line spacing belongs to every block, also those Return makes.
    applyLineSpacing(document());
}

void WritingParagraphEditor::applyLineSpacing(QTextDocument *text)
{
    const bool undo = text->isUndoRedoEnabled();
    text->setUndoRedoEnabled(false);
    QTextCursor cursor(text);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setLineHeight(lineSpacing, QTextBlockFormat::LineDistanceHeight);
    cursor.mergeBlockFormat(format);
    text->setUndoRedoEnabled(undo);
}

int WritingParagraphEditor::heightForText(const QString &text, int width)
{
    // Laid out as an editor lays out its own document: same font, no
    // margin, the same wrapping and line spacing.
    static QTextDocument *const measure = [] {
        auto *document = new QTextDocument;
        document->setUndoRedoEnabled(false);
        document->setDocumentMargin(0);
        document->setDefaultFont(TessalineTypography::systemFont(fontSize, QFont::Normal));
        QTextOption option = document->defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        document->setDefaultTextOption(option);
        return document;
    }();
    measure->setPlainText(text);
    applyLineSpacing(measure);
    measure->setTextWidth(std::max(1, width));
    return std::max(minimumHeight, int(std::ceil(measure->size().height())));
}

QString WritingParagraphEditor::text() const
{
    return writtenText(document());
}

void WritingParagraphEditor::setText(const QString &text)
{
    if (this->text() == text)
        return;
    // Signals stay on: the text direction follows every new text, and the
    // page's handler finds the document already holding it.
    const int position = textCursor().position();
    setPlainText(text);
    applyLineSpacing(document());
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::min<int>(position, int(text.size())));
    setTextCursor(cursor);
}

int WritingParagraphEditor::estimatedHeightForText(const QString &text, int width)
{
    static const QFontMetricsF metrics(TessalineTypography::systemFont(fontSize, QFont::Normal));
    static const qreal averageAdvance = metrics.averageCharWidth();
    static const qreal lineHeight = metrics.height() + lineSpacing;
    const qreal perLine = std::max<qreal>(1, width / averageAdvance);
    qsizetype lines = 0;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        lines += std::max<qsizetype>(1, qsizetype(std::ceil(line.size() / perLine)));
    return std::max(minimumHeight, int(std::ceil(lines * lineHeight)));
}

bool WritingParagraphEditor::hasHeightForWidth() const
{
    return true;
}

int WritingParagraphEditor::heightForWidth(int width) const
{
    QTextDocument *text = document();
    const qreal textWidth = std::max(1, width - 2 * frameWidth());
    if (!qFuzzyCompare(text->textWidth(), textWidth))
        text->setTextWidth(textWidth);
    return std::max(minimumHeight, int(std::ceil(text->size().height())) + 2 * frameWidth());
}

QSize WritingParagraphEditor::sizeHint() const
{
    const int width = std::max(200, this->width());
    return QSize(width, heightForWidth(width));
}

QSize WritingParagraphEditor::minimumSizeHint() const
{
    return QSize(40, minimumHeight);
}

void WritingParagraphEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (canDrop && canDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void WritingParagraphEditor::dragMoveEvent(QDragMoveEvent *event)
{
    // No drop caret: the reference goes after the paragraph, not into it.
    if (canDrop && canDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void WritingParagraphEditor::dragLeaveEvent(QDragLeaveEvent *event)
{
    event->accept();
}

void WritingParagraphEditor::dropEvent(QDropEvent *event)
{
    if (onDrop && onDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void WritingParagraphEditor::insertFromMimeData(const QMimeData *source)
{
    // Only plain text goes in, so its length is what the paragraph grows
    // by. Markdown, which the editor would otherwise render when it is
    // offered first, goes in as the text it is: rendering drops its marks.
    const QLatin1StringView markdown("text/markdown");
    if (!source || (!source->hasText() && !source->hasFormat(markdown)))
        return;
    const QString pasted = source->hasText() ? source->text() : QString::fromUtf8(source->data(markdown));
    if (acceptsPaste) {
        const QTextCursor cursor = textCursor();
        if (!acceptsPaste(pasted.size(), cursor.selectionEnd() - cursor.selectionStart()))
            return;
    }
    QMimeData plain;
    plain.setText(pasted);
    QTextEdit::insertFromMimeData(&plain);
}

// A note reads as one page, but each paragraph is an editor of its own:
// left to the editor, the arrow keys stopped at its edge and the keyboard
// could not reach the next paragraph at all (Tab goes on to the card
// between them first).
void WritingParagraphEditor::keyPressEvent(QKeyEvent *event)
{
    const bool up = event->key() == Qt::Key_Up;
    const bool down = event->key() == Qt::Key_Down;
    if ((up || down) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && onArrowPastEdge
        && isCaretOnEdgeLine(down) && onArrowPastEdge(down, cursorRect().center().x())) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

bool WritingParagraphEditor::isCaretOnEdgeLine(bool last) const
{
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (last ? block.next().isValid() : block.previous().isValid())
        return false;
    const QTextLayout *layout = block.layout();
    if (!layout || layout->lineCount() == 0)
        return true;
    const QTextLine line = layout->lineForTextPosition(cursor.positionInBlock());
    if (!line.isValid())
        return true;
    return last ? line.lineNumber() == layout->lineCount() - 1 : line.lineNumber() == 0;
}

void WritingParagraphEditor::wheelEvent(QWheelEvent *event)
{
    // Never scrolls itself: the page does.
    event->ignore();
}

} // namespace tessaline
