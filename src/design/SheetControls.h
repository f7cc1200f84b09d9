#pragma once

#include <QString>

#include <functional>

class QHBoxLayout;
class QKeyEvent;
class QPlainTextEdit;
class QWidget;

namespace tessaline {

// A sheet's title row: its symbol, then its title in the system font at 18
// pixels, semibold, then room for what the sheet adds at the right end.
QHBoxLayout *sheetTitleRow(const QString &title, const QString &systemImage, QWidget *parent);

// Return or Enter, the keys of a sheet's default action.
bool isReturnKey(const QKeyEvent *event);

// In a sheet's editor Return is the sheet's default action and Shift+Return
// breaks the line.
void submitOnReturn(QPlainTextEdit *editor, std::function<void()> submit);

} // namespace tessaline
