#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

namespace tessaline {

// A sheet whose model decides when it goes: Return asks the model to
// submit, Escape and the window's close button ask it to cancel the way
// Cancel does, and the sheet closes once, when the model says it is done
// (`finish`). The sheet's error alert lives in `m_alert`.
class SheetDialog : public QDialog
{
    Q_OBJECT
public:
    QMessageBox *alert() const { return m_alert; }

    void reject() override;

protected:
    explicit SheetDialog(QWidget *parent = nullptr);

    virtual void submit() = 0;
    virtual void cancel() = 0;
    // Runs the first time the sheet comes on screen.
    virtual void firstShown() {}
    // Closes the sheet; called when the model is done with it.
    void finish();

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

    QPointer<QMessageBox> m_alert;

private:
    bool m_hasAppeared = false;
    bool m_finishing = false;
};

} // namespace tessaline
