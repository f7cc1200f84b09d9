#include "notes/NewFolderSheet.h"

#include "design/DesignTokens.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "notes/NotesWorkspaceModel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tessaline {

NewFolderSheet::NewFolderSheet(NotesWorkspaceModel &workspace, QWidget *parent)
    : QDialog(parent)
    , m_workspace(workspace)
{
    setWindowTitle(QStringLiteral("New Folder"));
    setFixedWidth(380);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(18);

    auto *header = new QVBoxLayout;
    header->setSpacing(5);
    header->addWidget(new StudioText(QStringLiteral("New Folder"), TessalineTypography::systemFont(20, QFont::DemiBold),
                                     SemanticColor::label, this));
    header->addWidget(new StudioText(QStringLiteral("Move this note into a simple folder."), TessalineTypography::body(),
                                     SemanticColor::secondary, this));
    stack->addLayout(header);

    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(QStringLiteral("Folder name"));
    m_name->setAccessibleName(QStringLiteral("Folder name"));
    m_name->setText(m_workspace.folderDraft());
    textInputDirection(m_name);
    connect(m_name, &QLineEdit::textChanged, &m_workspace, &NotesWorkspaceModel::setFolderDraft);
    stack->addWidget(m_name);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, this);
    m_cancel->setTracksHover(true);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QAbstractButton::clicked, &m_workspace, &NotesWorkspaceModel::cancelNewFolder);
    m_create = new TessalinePrimaryButton(QStringLiteral("Create Folder"), QString(), this);
    m_create->setAutoDefault(false);
    connect(m_create, &QAbstractButton::clicked, &m_workspace, &NotesWorkspaceModel::submitNewFolder);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_create);
    stack->addLayout(buttons);

    connect(&m_workspace, &NotesWorkspaceModel::folderSheetChanged, this, &NewFolderSheet::refresh);
    refresh();
    m_name->setFocus(Qt::OtherFocusReason);
}

void NewFolderSheet::refresh()
{
    m_create->setEnabled(m_workspace.canCommitNewFolder());
    if (!m_workspace.folderTargetID() && isVisible())
        QDialog::done(QDialog::Accepted);
}

void NewFolderSheet::keyPressEvent(QKeyEvent *event)
{
    // Return in the field does what "Create Folder" does, blank name included.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_workspace.submitNewFolder();
        return;
    }
    QDialog::keyPressEvent(event);
}

void NewFolderSheet::reject()
{
    // Cancelling clears the sheet's target, which closes it.
    if (m_workspace.folderTargetID())
        m_workspace.cancelNewFolder();
    else
        QDialog::reject();
}

} // namespace tessaline
