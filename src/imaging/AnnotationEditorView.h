#pragma once

#include <QImage>
#include <QWidget>

namespace tessaline {

class AnnotationCanvasView;
class AnnotationEditorModel;
class AnnotationToolbar;

// The annotation editor: its toolbar above the canvas. It edits the model's
// document, which belongs to the host; Delete removes the selected mark and
// Escape closes text entry, else clears the selection. An Escape with
// nothing to undo here goes on to the window.
class AnnotationEditorView : public QWidget
{
    Q_OBJECT
public:
    AnnotationEditorView(const QImage &image, AnnotationEditorModel &model, QWidget *parent = nullptr);

    AnnotationEditorModel &model() const { return m_model; }
    AnnotationToolbar *toolbar() const { return m_toolbar; }
    AnnotationCanvasView *canvas() const { return m_canvas; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    AnnotationEditorModel &m_model;
    AnnotationToolbar *m_toolbar;
    AnnotationCanvasView *m_canvas;
};

} // namespace tessaline
