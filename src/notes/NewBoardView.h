#pragma once

#include "design/SheetDialog.h"

class QLineEdit;

namespace tessaline {

class ModelContext;
class NavigationState;
class NewBoardModel;
class StudioCompactButton;
class TessalinePrimaryButton;

// The new note sheet: a name and an optional focus question. Return
// creates the note, Escape closes the sheet without storing anything.
class NewBoardView : public SheetDialog
{
    Q_OBJECT
public:
    NewBoardView(ModelContext &context, NavigationState &navigation, QWidget *parent = nullptr);

    NewBoardModel &model() const { return *m_model; }
    QLineEdit *titleField() const { return m_title; }
    QLineEdit *focusQuestionField() const { return m_focusQuestion; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    TessalinePrimaryButton *createButton() const { return m_create; }

protected:
    void submit() override;
    void cancel() override;
    void firstShown() override;

private:
    void refresh();

    NewBoardModel *m_model = nullptr;
    QLineEdit *m_title = nullptr;
    QLineEdit *m_focusQuestion = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_create = nullptr;
};

} // namespace tessaline
