#pragma once

#include <QString>
#include <QStringView>
#include <Qt>

class QFontMetricsF;
class QLineEdit;
class QPlainTextEdit;
class QTextEdit;

namespace tessaline {

// The direction a field's own text asks for: right to left when its first
// decisive character is of a right-to-left script (Hebrew through Arabic
// Extended-A, the Hebrew and Arabic presentation forms, Adlam), left to right
// when it is any other letter or mark, or when nothing decides.
Qt::LayoutDirection inputLayoutDirection(QStringView text);

// The horizontal alignment that puts `text` against the edge it starts from:
// right for right-to-left text, left for any other, whatever the screen's
// own direction.
Qt::Alignment alignmentInItsOwnDirection(QStringView text);

// `text` cut to `width` with an ellipsis where it runs on, ready to draw on
// one line of a left-to-right screen: right-to-left text keeps its own
// direction, so its ellipsis stands at its left end, not beside its start.
QString elidedInItsOwnDirection(const QString &text, const QFontMetricsF &metrics, qreal width);

// Makes the field follow its text while it is typed: right-to-left text lays
// the field out right to left with its lines against the right edge, other
// text left to right against the left edge. The one entry point for screens.
void textInputDirection(QLineEdit *field);
void textInputDirection(QTextEdit *editor);
void textInputDirection(QPlainTextEdit *editor);

// Puts text the user did not type into the field with its start in view:
// QLineEdit::setText leaves the cursor at the end, so a title wider than its
// field would show only its last words, cut off mid-letter at the start.
// A field being typed in keeps its cursor where setText puts it.
void setTextFromItsStart(QLineEdit *field, const QString &text);

} // namespace tessaline
