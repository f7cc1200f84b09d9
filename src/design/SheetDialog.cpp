#include "design/SheetDialog.h"

#include "design/SheetControls.h"

#include <QKeyEvent>
#include <QMessageBox>

namespace tessaline {

SheetDialog::SheetDialog(QWidget *parent)
    : QDialog(parent)
{
}

void SheetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!std::exchange(m_hasAppeared, true))
        firstShown();
}

void SheetDialog::keyPressEvent(QKeyEvent *event)
{
    // Return anywhere in the sheet is the default action; the model leaves
    // it alone while there is nothing to submit.
    if (isReturnKey(event)) {
        submit();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SheetDialog::reject()
{
    if (m_finishing)
        return QDialog::reject();
    cancel();
}

void SheetDialog::finish()
{
    if (std::exchange(m_finishing, true))
        return;
    done(QDialog::Accepted);
}

} // namespace tessaline
