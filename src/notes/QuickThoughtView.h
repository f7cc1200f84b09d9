#pragma once

#include <QDialog>
#include <QPointer>
#include <QUuid>

#include <optional>

class QComboBox;
class QMessageBox;
class QPlainTextEdit;

namespace tessaline {

class LibraryQuery;
class NavigationState;
class QuickThoughtModel;
class StudioCompactButton;
class TessalinePrimaryButton;

// The quick note sheet: one paragraph, added to a chosen note or to Quick
// Captures. Return adds it (Shift+Return breaks the line), Escape closes
// the sheet without storing anything.
class QuickThoughtView : public QDialog
{
    Q_OBJECT
public:
    QuickThoughtView(LibraryQuery &library, NavigationState &navigation, std::optional<QUuid> preselectedBoardID,
                     QWidget *parent = nullptr);

    QuickThoughtModel &model() const { return *m_model; }
    QPlainTextEdit *editor() const { return m_editor; }
    QComboBox *notePicker() const { return m_picker; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    TessalinePrimaryButton *addButton() const { return m_add; }
    QMessageBox *alert() const { return m_alert; }

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fillPicker();
    void refresh();
    void finish();

    QuickThoughtModel *m_model = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QComboBox *m_picker = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_add = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_hasAppeared = false;
    bool m_finishing = false;
};

} // namespace tessaline
