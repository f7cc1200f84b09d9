#include "imaging/AnnotationEditorView.h"

#include "design/SheetSize.h"
#include "design/StudioDivider.h"

#include "imaging/AnnotationCanvasView.h"
#include "imaging/AnnotationEditorModel.h"
#include "imaging/AnnotationToolbar.h"

#include <QFrame>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace tessaline {

AnnotationEditorView::AnnotationEditorView(const QImage &image, AnnotationEditorModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_toolbar(new AnnotationToolbar(model, this)),
      m_canvas(new AnnotationCanvasView(image, model, this))
{
    // Roomy where the screen allows; on a small one (a laptop at twice the
    // scale) the window around it must still show its action bar.
    setMinimumSize(sheetSizeWithinScreen(this, QSize(720, 520), 0.75));
    setAccessibleName(QStringLiteral("Screenshot annotation editor"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(new StudioDivider(Qt::Horizontal, this));
    layout->addWidget(m_canvas, 1);
    setFocusProxy(m_canvas);
}

void AnnotationEditorView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        m_model.deleteSelectedItem();
        return;
    case Qt::Key_Escape:
        if (m_model.isTextEditing() || m_model.selectedItemID()) {
            m_model.handleExitCommand();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tessaline
