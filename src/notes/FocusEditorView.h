#pragma once

#include "design/SymbolLabel.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>

class QComboBox;
class QLabel;
class QLineEdit;

class QPlainTextEdit;
class QStackedWidget;
class QToolButton;

namespace tessaline {

class FocusEditorModel;
class LibraryQuery;
class NavigationState;
class StudioEmptyState;
class TessalinePrimaryButton;

// The card editor sheet: a thought's title, kind and text, or a snip's
// picture beside its "Why it matters" text and its recognised text, at
// full size. Edits go straight into the card; Done saves and closes.
class FocusEditorView : public QDialog
{
    Q_OBJECT
public:
    FocusEditorView(LibraryQuery &library, NavigationState &navigation, const QUuid &cardID,
                    QWidget *parent = nullptr);

    FocusEditorModel &model() const { return *m_model; }
    // Null until a card is shown. The symbol label carries the shown
    // symbol's name in its "systemImage" property.
    QWidget *kindSymbol() const { return m_symbol; }
    QLineEdit *titleField() const { return m_title; }
    QComboBox *kindPicker() const { return m_kind; }
    QPlainTextEdit *thoughtEditor() const { return m_thoughtText; }
    QPlainTextEdit *contextEditor() const { return m_contextText; }
    QLabel *recognizedText() const { return m_recognized; }
    QLabel *updatedLabel() const { return m_updated; }
    QToolButton *closeButton() const { return m_close; }
    TessalinePrimaryButton *doneButton() const { return m_done; }
    StudioEmptyState *unavailableState() const { return m_unavailable; }
    bool isShowingCard() const;
    QMessageBox *alert() const { return m_alert; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();
    QWidget *makeEditor();
    QWidget *makeSnipBody();
    QWidget *makeThoughtBody();
    void showAlertIfNeeded();
    void finish();

    FocusEditorModel *m_model = nullptr;
    QStackedWidget *m_pages = nullptr;
    StudioEmptyState *m_unavailable = nullptr;
    QWidget *m_editor = nullptr;
    SymbolLabel *m_symbol = nullptr;
    QString m_symbolName;
    QLineEdit *m_title = nullptr;
    QComboBox *m_kind = nullptr;
    QToolButton *m_close = nullptr;
    QPlainTextEdit *m_thoughtText = nullptr;
    QPlainTextEdit *m_contextText = nullptr;
    QLabel *m_recognized = nullptr;
    QLabel *m_updated = nullptr;
    TessalinePrimaryButton *m_done = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_finishing = false;
};

} // namespace tessaline
