#pragma once

#include <QString>

class QTextDocument;
class QWidget;

namespace tessaline {

// The text of a plain-text editor's document as the user wrote it. Read
// through toPlainText() every no-break space would come back as an ordinary
// space and every line separator as a line break, so the stored text would
// change when the user only typed elsewhere in it, and the text would never
// equal what was put in. Only the breaks between the document's own blocks
// (what Return makes) come back as line breaks.
QString writtenText(const QTextDocument *document);

// Makes Shift+Return in a text editor (plain or not) break the line as
// Return does. Left to the editor it puts a line separator in the text,
// which writtenText keeps as it is, where the user typed a line break.
void breakLinesOnShiftReturn(QWidget *editor);

} // namespace tessaline
