#include "design/WrittenText.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

using namespace tessaline;

class WrittenTextTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void comesBackAsWritten_data();
    void comesBackAsWritten();
    void shiftReturnBreaksTheLine_data();
    void shiftReturnBreaksTheLine();
};

void WrittenTextTest::comesBackAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no-break space") << QStringLiteral("10\u00A0km");
    QTest::newRow("line separator") << QStringLiteral("first\u2028second");
    QTest::newRow("mixed, between line breaks")
        << QStringLiteral("\n10\u00A0km\u2028on\u00A0foot\n\nnext \u00A0\u2028\n");
}

// Put into an editor, shown there and typed into at its end, the text keeps
// every character it had.
void WrittenTextTest::comesBackAsWritten()
{
    QFETCH(QString, text);
    QPlainTextEdit editor;
    editor.setPlainText(text);
    QCOMPARE(writtenText(editor.document()), text);

    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, QStringLiteral("!"));
    QCOMPARE(writtenText(editor.document()), text + u'!');
}

void WrittenTextTest::shiftReturnBreaksTheLine_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Shift+Enter on the keypad")
        << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier);
}

void WrittenTextTest::shiftReturnBreaksTheLine()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QPlainTextEdit editor;
    breakLinesOnShiftReturn(&editor);
    QTest::keyClicks(&editor, QStringLiteral("first"));
    QTest::keyClick(&editor, Qt::Key(key), modifiers);
    QTest::keyClicks(&editor, QStringLiteral("second"));
    QCOMPARE(writtenText(editor.document()), QStringLiteral("first\nsecond"));
    QCOMPARE(editor.document()->blockCount(), 2);
}

QTEST_MAIN(WrittenTextTest)
#include "tst_writtentext.moc"
