#pragma once

#include <QDialog>

class QLineEdit;

namespace tessaline {

class NotesWorkspaceModel;
class StudioCompactButton;
class TessalinePrimaryButton;

// The "New Folder" sheet of the note list: a name for the folder the note
// moves into. Return files the note (a blank name does nothing), Escape and
// Cancel close the sheet without a change.
class NewFolderSheet : public QDialog
{
    Q_OBJECT
public:
    explicit NewFolderSheet(NotesWorkspaceModel &workspace, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_name; }
    TessalinePrimaryButton *createButton() const { return m_create; }
    StudioCompactButton *cancelButton() const { return m_cancel; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();

    NotesWorkspaceModel &m_workspace;
    QLineEdit *m_name = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_create = nullptr;
};

} // namespace tessaline
