#pragma once

// Finds the file dialog a save or open flow put on screen.

#include <QApplication>
#include <QFileDialog>

namespace tessaline::testing {

inline QFileDialog *shownFileDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

} // namespace tessaline::testing
