#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QMessageBox;

namespace tessaline {

class ModelContext;
class NavigationState;
class NewBoardModel;
class StudioCompactButton;
class TessalinePrimaryButton;

// The new note sheet: a name and an optional focus question. Return
// creates the note, Escape closes the sheet without storing anything.
class NewBoardView : public QDialog
{
    Q_OBJECT
public:
    NewBoardView(ModelContext &context, NavigationState &navigation, QWidget *parent = nullptr);

    NewBoardModel &model() const { return *m_model; }
    QLineEdit *titleField() const { return m_title; }
    QLineEdit *focusQuestionField() const { return m_focusQuestion; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    TessalinePrimaryButton *createButton() const { return m_create; }
    QMessageBox *alert() const { return m_alert; }

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();
    void finish();

    NewBoardModel *m_model = nullptr;
    QLineEdit *m_title = nullptr;
    QLineEdit *m_focusQuestion = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    TessalinePrimaryButton *m_create = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_hasAppeared = false;
    bool m_finishing = false;
};

} // namespace tessaline
