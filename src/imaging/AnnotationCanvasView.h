#pragma once

#include "model/AnnotationDocument.h"

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QWidget>

namespace tessaline {

class AnnotationEditorModel;
class AnnotationTextEntryPanel;

// The editor's canvas area: the window background, the snip fitted into it
// with its aspect ratio (small snips scaled up too) under a soft shadow, and
// over the snip the annotations, the stroke being dragged and the selection
// outline. The pointer over the snip goes to the model in the snip's
// displayed coordinates; the text-entry panel floats over it.
//
// The fitted snip and its shadow are scaled once per size change and kept as
// pixmaps; a picture much larger than shown is scaled smoothly on a worker. The marks are kept as two pixmaps too, those under the selected
// mark and those over it, so that dragging or restyling the selection and
// drawing a new stroke repaint only what changes; a mark added on top is
// drawn onto the kept pixmap instead of redrawing them all.
class AnnotationCanvasView : public QWidget
{
    Q_OBJECT
public:
    AnnotationCanvasView(const QImage &image, AnnotationEditorModel &model, QWidget *parent = nullptr);

    // The snip's displayed rectangle within this widget.
    QRectF fittedRect() const;
    static QSizeF fittedSize(QSizeF imageSize, QSizeF available);

    AnnotationTextEntryPanel *textEntryPanel() const { return m_panel; }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Marks drawn once into a transparent pixmap of the displayed size.
    struct Layer
    {
        QList<AnnotationItem> items;
        QSizeF size;
        qreal ratio = 0;
        QPixmap pixmap;
    };
    void updateLayer(Layer &layer, const QList<AnnotationItem> &items, QSizeF size, qreal ratio);

    void refreshFromModel();
    void refreshPixmaps();
    void placePanel();
    QPointF canvasPoint(const QPointF &widgetPoint) const;

    QImage m_image;
    AnnotationEditorModel &m_model;
    AnnotationTextEntryPanel *m_panel;
    QPixmap m_scaledImage;
    // Counts the scales begun, so a smooth one from a worker that finishes
    // after the size changed again is dropped.
    quint64 m_scalings = 0;
    QPixmap m_shadow;
    QRectF m_pixmapRect;
    Layer m_below;
    Layer m_above;
    bool m_pointerDown = false;
};

} // namespace tessaline
