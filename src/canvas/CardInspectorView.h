#pragma once

#include "canvas/CardInspectorForm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class QLabel;
class QScrollArea;
class QStackedWidget;

namespace tessaline {

class CardInspectorModel;
class LibraryQuery;
class NavigationState;
class StudioEmptyState;

// The main window's inspector column: "Nothing selected", the count of a
// larger selection, or the form of the one selected card (title, kind,
// context, source, recognised text and grounding).
class CardInspectorView : public QWidget
{
    Q_OBJECT
public:
    CardInspectorView(LibraryQuery &library, NavigationState &navigation, QWidget *parent = nullptr);

    CardInspectorModel &model() const { return *m_model; }
    QWidget *currentContent() const;
    // The form's controls, while a card's form is shown.
    QLineEdit *titleField() const { return m_title; }
    QComboBox *kindPicker() const { return m_kind; }
    QPlainTextEdit *contextEditor() const { return m_context; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void rebuild();
    void refreshValues();
    QWidget *makeForm();
    // The form's source, recognised text and grounding, below its fields.
    QWidget *makeDetails(const CardInspectorForm &form, QWidget *parent);
    QWidget *makeMultiple(qsizetype count);

    CardInspectorModel *m_model;
    QStackedWidget *m_stack;
    StudioEmptyState *m_nothing;
    QPointer<QWidget> m_content;
    QUuid m_formCardID;
    QPointer<QLineEdit> m_title;
    QPointer<QComboBox> m_kind;
    QPointer<QPlainTextEdit> m_context;
    QPointer<QWidget> m_details;
    CardInspectorForm m_shownDetails;
};

} // namespace tessaline
