#pragma once

#include <QPlainTextEdit>
#include <QWidget>

class QVariantAnimation;

namespace tessaline {

class AnnotationEditorModel;
class StudioCompactButton;
class StudioText;
class TessalinePrimaryButton;

// The small floating panel in which a text annotation is typed: a field of
// one to three lines in the annotation's own colour and size, a hint, Cancel
// and Add (or Update). Return commits, Alt+Return starts a new line, Escape
// cancels. It mirrors the editor model and writes the draft back to it.
class AnnotationTextEntryPanel : public QWidget
{
    Q_OBJECT
public:
    // Room around the panel's rounded body for its shadow.
    static constexpr int shadowMargin = 14;

    explicit AnnotationTextEntryPanel(AnnotationEditorModel &model, QWidget *parent = nullptr);

    QPlainTextEdit *field() const { return m_field; }
    TessalinePrimaryButton *confirmButton() const { return m_confirm; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    StudioText *hintLabel() const { return m_hint; }

    // Re-reads the model: draft, colour, size, titles and enabled states.
    void refresh();
    // Places the panel's body centred on `center` at width `bodyWidth`.
    void place(QPointF center, double bodyWidth);
    // Shows or hides, fading unless reduce motion is on.
    void setOpen(bool open);
    bool isOpen() const { return m_open; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    class Field;
    void fitFieldHeight();

    AnnotationEditorModel &m_model;
    QPlainTextEdit *m_field;
    StudioText *m_hint;
    StudioCompactButton *m_cancel;
    TessalinePrimaryButton *m_confirm;
    QVariantAnimation *m_fade;
    bool m_open = false;
    bool m_syncing = false;
};

} // namespace tessaline
