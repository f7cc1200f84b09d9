#include "runtime/SaveFileFlow.h"

#include "design/DialogOwner.h"
#include "platform/FutureDelivery.h"
#include "platform/FileSync.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>

namespace tessaline {

namespace {

// A file is named as the type it holds, as a save dialog limited to its
// types does: a name typed with an ending those types do not use
// ("Screenshot 2026.12.09", "shot.jpg") gets the type's own ending added.
// Done as the dialog accepts, so that its question about replacing a file
// is asked of the name that will be written.
class SaveDialog : public QFileDialog
{
public:
    SaveDialog(QWidget *parent, const SaveFileRequest &request)
        : QFileDialog(parent), m_defaultSuffix(request.defaultSuffix)
    {
        const QMimeDatabase types;
        for (const QString &name : request.mimeTypes) {
            for (const QString &suffix : types.mimeTypeForName(name).suffixes())
                m_suffixes << suffix.toLower();
        }
        m_suffixes << m_defaultSuffix.toLower();
    }

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (!m_defaultSuffix.isEmpty() && chosen.size() == 1) {
            const QFileInfo file(chosen.constFirst());
            if (!file.fileName().isEmpty() && !file.isDir() && !m_suffixes.contains(file.suffix().toLower())) {
                // The name field is written directly: while it has the
                // focus, as it has when Return is pressed in it,
                // selectFile() leaves it alone.
                const QString named = file.filePath() + u'.' + m_defaultSuffix;
                if (auto *field = findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    field->setText(named);
                else
                    selectFile(named);
            }
        }
        QFileDialog::accept();
    }

private:
    QString m_defaultSuffix;
    QStringList m_suffixes;
};

// One save from request to answer. It belongs to nobody, so that it still
// answers when the window that asked closes first, and it deletes itself once
// it has answered.
class SaveSession : public QObject
{
public:
    SaveSession(QWidget *parent, const SaveFileRequest &request, SaveFileFlow::Completion completion)
        : m_parent(parent), m_hasParent(parent != nullptr), m_request(request), m_completion(std::move(completion))
    {
    }

    void waitFor(QFuture<Expected<QByteArray, QString>> bytes)
    {
        deliveredTo(this, std::move(bytes)).then(this, [this](const Expected<QByteArray, QString> &made) {
            if (!made)
                return finish(unexpected(made.error()));
            ask([bytes = *made]() -> Expected<QByteArray, QString> { return bytes; });
        });
    }

    void ask(SaveFileFlow::Contents contents)
    {
        if (m_hasParent && !m_parent)
            return finish(SaveFileStatus::cancelled);
        auto *dialog = new SaveDialog(m_parent.data(), m_request);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setMimeTypeFilters(m_request.mimeTypes);
        dialog->setDefaultSuffix(m_request.defaultSuffix);
        dialog->setDirectory(SaveFileFlow::startDirectory());
        dialog->selectFile(m_request.fileName);
        connect(dialog, &QFileDialog::finished, this, [this, dialog, contents](int result) {
            const QStringList chosen = dialog->selectedFiles();
            if (result != QDialog::Accepted || chosen.isEmpty() || chosen.constFirst().isEmpty())
                return finish(SaveFileStatus::cancelled);
            const QString path = chosen.constFirst();
            // Made now, so the file shows things as they are when it is written.
            finish(contents()
                       .and_then([&](const QByteArray &bytes) { return SaveFileFlow::writeFileAtomically(path, bytes); })
                       .transform([] { return SaveFileStatus::saved; }));
        });
        // Closed with its window before the user chose: nothing was saved.
        connect(dialog, &QObject::destroyed, this, [this] { finish(SaveFileStatus::cancelled); });
        keepDialogOffPopups(*dialog);
        dialog->open();
    }

private:
    void finish(const SaveFileOutcome &outcome)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_completion(outcome);
        deleteLater();
    }

    QPointer<QWidget> m_parent;
    bool m_hasParent;
    SaveFileRequest m_request;
    SaveFileFlow::Completion m_completion;
    bool m_finished = false;
};

// What the system says alone ("No such file or directory") leaves the user
// to guess which file was meant, once the save panel has gone.
QString notSaved(const QString &path, const QString &reason)
{
    const QFileInfo file(path);
    return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be saved in the folder \u201C%2\u201D: %3")
        .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()), reason);
}

} // namespace

namespace SaveFileFlow {

QString startDirectory()
{
    for (const auto location : {QStandardPaths::DownloadLocation, QStandardPaths::PicturesLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

Expected<void, QString> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return unexpected(notSaved(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return unexpected(notSaved(path, reason));
    }
    if (auto flushed = flushBeforeCommit(file); !flushed)
        return unexpected(notSaved(path, flushed.error()));
    if (!file.commit())
        return unexpected(notSaved(path, file.errorString()));
    // The file is in place and readable now; only a power loss could still
    // undo the rename, and a folder that cannot be synced is no reason to
    // tell the user the save failed.
    (void)syncDirectoryOf(path);
    return {};
}

void save(QWidget *parent, const SaveFileRequest &request, Contents contents, Completion completion)
{
    (new SaveSession(parent, request, std::move(completion)))->ask(std::move(contents));
}

void save(QWidget *parent, const SaveFileRequest &request, QFuture<Expected<QByteArray, QString>> bytes,
          Completion completion)
{
    (new SaveSession(parent, request, std::move(completion)))->waitFor(std::move(bytes));
}

} // namespace SaveFileFlow

} // namespace tessaline
