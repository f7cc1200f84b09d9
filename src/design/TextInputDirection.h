#pragma once

#include <QStringView>
#include <Qt>

class QLineEdit;
class QPlainTextEdit;
class QTextEdit;

namespace tessaline {

// The direction a field's own text asks for: right to left when its first
// decisive character is of a right-to-left script (Hebrew through Arabic
// Extended-A, the Hebrew and Arabic presentation forms, Adlam), left to right
// when it is any other letter or mark, or when nothing decides.
Qt::LayoutDirection inputLayoutDirection(QStringView text);

// Makes the field follow its text while it is typed: right-to-left text lays
// the field out right to left with its lines against the right edge, other
// text left to right against the left edge. The one entry point for screens.
void textInputDirection(QLineEdit *field);
void textInputDirection(QTextEdit *editor);
void textInputDirection(QPlainTextEdit *editor);

} // namespace tessaline
