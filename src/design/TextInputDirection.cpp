#include "design/TextInputDirection.h"

#include <QFontMetricsF>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace tessaline {

namespace {

struct ScalarRange {
    char32_t start;
    char32_t length;
};

constexpr ScalarRange rightToLeftRanges[] = {
    {0x0590, 0x370}, // Hebrew through Arabic Extended-A
    {0xFB1D, 0x2E3}, // Hebrew presentation forms, Arabic Presentation Forms-A
    {0xFE70, 0x90},  // Arabic Presentation Forms-B, up to and including U+FEFF
    {0x1E900, 0x60}, // Adlam
};

enum class Decision { undecided, leftToRight, rightToLeft };

Decision classify(char32_t scalar)
{
    for (const ScalarRange &range : rightToLeftRanges) {
        // Unsigned wrap-around makes scalars below `start` fail the test too.
        if (scalar - range.start < range.length)
            return Decision::rightToLeft;
    }
    switch (QChar::category(scalar)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return Decision::leftToRight;
    default:
        return Decision::undecided;
    }
}

Decision walk(QStringView text)
{
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        char32_t scalar = text[i].unicode();
        if (QChar::isHighSurrogate(scalar) && i + 1 < length && text[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        const Decision decision = classify(scalar);
        if (decision != Decision::undecided)
            return decision;
    }
    return Decision::undecided;
}

Qt::Alignment horizontalAlignment(Qt::LayoutDirection direction)
{
    return Qt::AlignAbsolute | (direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft);
}

// Only the leading run of undecided characters is read, block by block, so a
// long document costs no more than its first decisive character.
Qt::LayoutDirection documentDirection(const QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        switch (walk(block.text())) {
        case Decision::rightToLeft:
            return Qt::RightToLeft;
        case Decision::leftToRight:
            return Qt::LeftToRight;
        case Decision::undecided:
            break;
        }
    }
    return Qt::LeftToRight;
}

void applyToDocument(QWidget *editor, QTextDocument *document)
{
    const Qt::LayoutDirection direction = documentDirection(document);
    QTextOption option = document->defaultTextOption();
    const Qt::Alignment alignment = horizontalAlignment(direction);
    if (editor->layoutDirection() == direction && option.textDirection() == direction
        && (option.alignment() & Qt::AlignHorizontal_Mask) == (alignment & Qt::AlignHorizontal_Mask))
        return;
    editor->setLayoutDirection(direction);
    option.setTextDirection(direction);
    option.setAlignment((option.alignment() & ~Qt::AlignHorizontal_Mask) | alignment);
    document->setDefaultTextOption(option);
}

} // namespace

Qt::LayoutDirection inputLayoutDirection(QStringView text)
{
    return walk(text) == Decision::rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
}

Qt::Alignment alignmentInItsOwnDirection(QStringView text)
{
    return horizontalAlignment(inputLayoutDirection(text));
}

QString elidedInItsOwnDirection(const QString &text, const QFontMetricsF &metrics, qreal width)
{
    const QString elided = metrics.elidedText(text, Qt::ElideRight, width);
    if (inputLayoutDirection(text) != Qt::RightToLeft)
        return elided;
    // Isolated right to left: the ellipsis, neutral, takes the text's own
    // direction and so stands at the end the text runs towards.
    return QChar(0x2067) + elided + QChar(0x2069);
}

void textInputDirection(QLineEdit *field)
{
    const auto apply = [field] {
        const Qt::LayoutDirection direction = inputLayoutDirection(field->text());
        if (field->layoutDirection() != direction)
            field->setLayoutDirection(direction);
        const Qt::Alignment alignment = (field->alignment() & ~Qt::AlignHorizontal_Mask) | horizontalAlignment(direction);
        if (field->alignment() != alignment)
            field->setAlignment(alignment);
    };
    QObject::connect(field, &QLineEdit::textChanged, field, apply);
    apply();
}

void textInputDirection(QTextEdit *editor)
{
    const auto apply = [editor] { applyToDocument(editor, editor->document()); };
    QObject::connect(editor, &QTextEdit::textChanged, editor, apply);
    apply();
}

void textInputDirection(QPlainTextEdit *editor)
{
    const auto apply = [editor] { applyToDocument(editor, editor->document()); };
    QObject::connect(editor, &QPlainTextEdit::textChanged, editor, apply);
    apply();
}

void setTextFromItsStart(QLineEdit *field, const QString &text)
{
    field->setText(text);
    if (!field->hasFocus())
        field->setCursorPosition(0);
}

} // namespace tessaline
