#pragma once

#include "design/SheetDialog.h"

#include <QUuid>

#include <optional>

class QComboBox;
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
class QuickThoughtView : public SheetDialog
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

protected:
    void submit() override;
    void cancel() override;
    void firstShown() override;
    void changeEvent(QEvent *event) override;

private:
    void styleEditor();
    void fillPicker();
    void refresh();

    QuickThoughtModel *m_model = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QComboBox *m_picker = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_add = nullptr;
};

} // namespace tessaline
