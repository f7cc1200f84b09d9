#pragma once

#include <QString>

#include <functional>

class QHBoxLayout;
class QKeyEvent;
class QPlainTextEdit;
class QVBoxLayout;
class QWidget;

namespace tessaline {

class StudioCompactButton;
class TessalinePrimaryButton;

// A sheet's title row: its symbol, then its title in the system font at 18
// pixels, semibold, then room for what the sheet adds at the right end.
QHBoxLayout *sheetTitleRow(const QString &title, const QString &systemImage, QWidget *parent);

// A sheet's foot, added at the end of its column: a divider, then a row of
// Cancel and the sheet's primary action at its right end. Neither button
// is the dialog's default: the sheet answers Return itself. Controls the
// sheet adds at the row's left go in before its stretch.
struct SheetButtons
{
    QHBoxLayout *row = nullptr;
    StudioCompactButton *cancel = nullptr;
    TessalinePrimaryButton *primary = nullptr;
};
SheetButtons addSheetButtons(QVBoxLayout *column, const QString &primaryTitle, QWidget *sheet);

// Return or Enter, the keys of a sheet's default action.
bool isReturnKey(const QKeyEvent *event);

// In a sheet's editor Return is the sheet's default action and Shift+Return
// breaks the line; Tab moves on as tabLeavesEditor tells.
void submitOnReturn(QPlainTextEdit *editor, std::function<void()> submit);

// In the editors of sheets and of the inspector, Tab and Shift+Tab move to
// the next and previous control, as from their fields, so the keyboard can
// go through the whole sheet; left to the editor they put tab characters
// into the card's text, and the keyboard could not get past it.
void tabLeavesEditor(QPlainTextEdit *editor);

} // namespace tessaline
