#include "../support/FileDialogs.h"
#include "runtime/SaveFileFlow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using tessaline::testing::shownFileDialog;

namespace {

SaveFileRequest textRequest()
{
    return SaveFileRequest{QStringLiteral("notes.txt"), {QStringLiteral("text/plain")}, QStringLiteral("txt")};
}

} // namespace

class SaveFileFlowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void dialogStartsInTheDownloadFolder_data();
    void dialogStartsInTheDownloadFolder();
    void everyEndingAnswersOnce_data();
    void everyEndingAnswersOnce();
    void aNameGetsItsTypesEnding_data();
    void aNameGetsItsTypesEnding();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_home;
};

void SaveFileFlowTest::init()
{
    // A home and a configuration of the test's own, and a working directory
    // elsewhere, so a dialog that fell back to it would show.
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_home = m_root->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(m_home));
    QVERIFY(QDir().mkpath(m_root->filePath(QStringLiteral("config"))));
    QVERIFY(QDir().mkpath(m_root->filePath(QStringLiteral("elsewhere"))));
    qputenv("HOME", m_home.toUtf8());
    qputenv("XDG_CONFIG_HOME", m_root->filePath(QStringLiteral("config")).toUtf8());
    QVERIFY(QDir::setCurrent(m_root->filePath(QStringLiteral("elsewhere"))));
}

void SaveFileFlowTest::dialogStartsInTheDownloadFolder_data()
{
    QTest::addColumn<QString>("userDirs"); // the XDG user-dirs file, if any
    QTest::addColumn<QStringList>("folders"); // made under the home folder
    QTest::addColumn<QString>("expected"); // under the home folder; empty for the home itself

    QTest::newRow("downloads") << QString() << QStringList{"Downloads", "Pictures"} << "Downloads";
    QTest::newRow("the configured download folder")
        << "XDG_DOWNLOAD_DIR=\"$HOME/Incoming\"\n" << QStringList{"Incoming", "Downloads"} << "Incoming";
    QTest::newRow("no downloads: pictures") << QString() << QStringList{"Pictures"} << "Pictures";
    QTest::newRow("configured download folder missing: pictures")
        << "XDG_DOWNLOAD_DIR=\"$HOME/Incoming\"\nXDG_PICTURES_DIR=\"$HOME/Photos\"\n" << QStringList{"Photos"}
        << "Photos";
    QTest::newRow("neither: the home folder") << QString() << QStringList{} << QString();
}

void SaveFileFlowTest::dialogStartsInTheDownloadFolder()
{
    QFETCH(QString, userDirs);
    QFETCH(QStringList, folders);
    QFETCH(QString, expected);
    if (!userDirs.isEmpty()) {
        QFile file(m_root->filePath(QStringLiteral("config/user-dirs.dirs")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userDirs.toUtf8());
    }
    for (const QString &folder : folders)
        QVERIFY(QDir(m_home).mkpath(folder));
    const QString start = expected.isEmpty() ? m_home : QDir(m_home).filePath(expected);
    QCOMPARE(SaveFileFlow::startDirectory(), start);

    std::optional<SaveFileOutcome> outcome;
    SaveFileFlow::save(
        nullptr, textRequest(), []() -> Expected<QByteArray, QString> { return QByteArray("text"); },
        [&](const SaveFileOutcome &answer) { outcome = answer; });
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    QCOMPARE(QDir(dialog->directory()).absolutePath(), start);
    QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).absoluteFilePath(), QDir(start).filePath("notes.txt"));
    dialog->reject();
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(QDir(m_root->filePath(QStringLiteral("elsewhere"))).isEmpty());
}

void SaveFileFlowTest::everyEndingAnswersOnce_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("answer"); // "saved", "cancelled" or the start of the reason

    QTest::newRow("saved") << "accept" << "saved";
    QTest::newRow("cancelled") << "reject" << "cancelled";
    QTest::newRow("the file cannot be written") << "accept a name too long" << "reason";
    QTest::newRow("nothing to write") << "accept without contents" << "The note is gone.";
    QTest::newRow("the window closes first") << "close the window" << "cancelled";
}

void SaveFileFlowTest::everyEndingAnswersOnce()
{
    QFETCH(QString, ending);
    QFETCH(QString, answer);
    QDir(m_home).mkpath(QStringLiteral("Downloads"));
    auto *window = new QWidget;
    QList<SaveFileOutcome> answers;
    SaveFileFlow::save(
        window, textRequest(),
        [&]() -> Expected<QByteArray, QString> {
            if (ending == u"accept without contents")
                return unexpected(QStringLiteral("The note is gone."));
            return QByteArray("written now");
        },
        [&](const SaveFileOutcome &outcome) { answers << outcome; });
    QVERIFY(answers.isEmpty()); // never during the call
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    const QPointer<QFileDialog> shown(dialog);
    QTemporaryDir target;
    const QString path = target.filePath(ending == u"accept a name too long" ? QString(300, u'n') + ".txt"
                                                                               : QStringLiteral("notes.txt"));
    dialog->selectFile(path);
    if (ending == u"reject")
        dialog->reject();
    else if (ending == u"close the window")
        delete window;
    else
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);

    QTRY_VERIFY(!shown);
    QTRY_COMPARE(answers.size(), 1);
    const SaveFileOutcome outcome = answers.constFirst();
    if (answer == u"saved" || answer == u"cancelled") {
        QVERIFY2(outcome, qPrintable(outcome ? QString() : outcome.error()));
        QCOMPARE(*outcome, answer == u"saved" ? SaveFileStatus::saved : SaveFileStatus::cancelled);
    } else {
        QVERIFY(!outcome);
        QVERIFY(!outcome.error().isEmpty());
        if (answer != u"reason")
            QCOMPARE(outcome.error(), answer);
    }
    QCOMPARE(QFile::exists(path), answer == u"saved");
    if (answer == u"saved") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("written now"));
    }
    QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).size(), answer == u"saved" ? 1 : 0);
    if (ending != u"close the window")
        delete window;
    // A later turn of the event loop brings no second answer.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(answers.size(), 1);
}

void SaveFileFlowTest::aNameGetsItsTypesEnding_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");

    QTest::newRow("its ending") << "notes.txt" << "notes.txt";
    QTest::newRow("its ending in capitals") << "NOTES.TXT" << "NOTES.TXT";
    QTest::newRow("no ending") << "notes" << "notes.txt";
    QTest::newRow("a date with dots") << "Minutes 2026.12.09" << "Minutes 2026.12.09.txt";
    QTest::newRow("another type's ending") << "notes.png" << "notes.png.txt";
}

void SaveFileFlowTest::aNameGetsItsTypesEnding()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QList<SaveFileOutcome> answers;
    SaveFileFlow::save(
        nullptr, textRequest(), []() -> Expected<QByteArray, QString> { return QByteArray("text"); },
        [&](const SaveFileOutcome &outcome) { answers << outcome; });
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    QTemporaryDir target;
    dialog->setDirectory(target.path());
    // Typed into the name field, which has the focus, and Return pressed.
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    name->setFocus();
    QTRY_VERIFY(name->hasFocus());
    name->setText(typed);
    QTest::keyClick(name, Qt::Key_Return);

    QTRY_COMPARE(answers.size(), 1);
    QVERIFY(answers.constFirst());
    QCOMPARE(*answers.constFirst(), SaveFileStatus::saved);
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{written});
}

QTEST_MAIN(SaveFileFlowTest)
#include "tst_savefileflow.moc"
