#include "imaging/CaptureReviewView.h"

#include "runtime/AppRuntime.h"
#include "runtime/ImageExportService.h"
#include "design/ErrorAlert.h"
#include "design/SheetSize.h"
#include "design/SemanticColors.h"
#include "design/StudioActionButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "imaging/AnnotationEditorModel.h"
#include "imaging/AnnotationEditorView.h"
#include "imaging/CaptureReviewModel.h"
#include "model/AnnotatedCardRenderer.h"
#include "model/CanvasCard.h"
#include "platform/Pasteboard.h"

#include <QBoxLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

namespace tessaline {

namespace {

constexpr int barPadding = 14;
// The note line never gets narrower than this before the bar wraps.
constexpr int minimumNoteWidth = 220;

// The bar under the editor: the note row and the buttons side by side when
// they fit, else the buttons under the note, against the right edge.
class ActionBar : public QWidget
{
public:
    ActionBar(QWidget *noteRow, QWidget *buttonRow, QWidget *parent)
        : QWidget(parent), m_noteRow(noteRow), m_buttonRow(buttonRow), m_layout(new QVBoxLayout(this))
    {
        m_layout->setContentsMargins(barPadding, barPadding, barPadding, barPadding);
        m_layout->setSpacing(10);
        noteRow->setParent(this);
        buttonRow->setParent(this);
        arrange(true);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        const int needed = minimumNoteWidth + 12 + 8 + m_buttonRow->sizeHint().width() + 2 * barPadding;
        arrange(needed <= width());
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), semanticColor(SemanticColor::windowBackground, palette()));
    }

private:
    void arrange(bool wide)
    {
        if (m_wide == wide && m_layout->count() > 0)
            return;
        m_wide = wide;
        while (QLayoutItem *item = m_layout->takeAt(0)) {
            if (QLayout *inner = item->layout()) {
                while (QLayoutItem *child = inner->takeAt(0))
                    delete child;
            }
            delete item;
        }
        if (wide) {
            auto *row = new QHBoxLayout;
            row->setSpacing(12);
            row->addWidget(m_noteRow, 1);
            row->addSpacing(8);
            row->addWidget(m_buttonRow);
            m_layout->addLayout(row);
        } else {
            m_layout->addWidget(m_noteRow);
            auto *row = new QHBoxLayout;
            row->addStretch(1);
            row->addWidget(m_buttonRow);
            m_layout->addLayout(row);
        }
    }

    QWidget *m_noteRow;
    QWidget *m_buttonRow;
    QVBoxLayout *m_layout;
    bool m_wide = true;
};

} // namespace

CaptureReviewView::CaptureReviewView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent)
    : CaptureReviewView(cardID, runtime, ClipboardPasteboard::general(), parent)
{
}

CaptureReviewView::CaptureReviewView(const QUuid &cardID, AppRuntime &runtime, Pasteboard &pasteboard,
                                     QWidget *parent)
    : QDialog(parent), m_model(new CaptureReviewModel(cardID, runtime, pasteboard, this))
{
    setWindowModality(Qt::WindowModal);
    setSizeGripEnabled(true);
    m_model->setPngSaver([this](const QImage &image, const QString &name,
                                SaveFileFlow::Completion completion) {
        ImageExportService::savePNG(image, name, this, std::move(completion));
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    setWindowTitle(m_model->title());
    connect(m_model, &CaptureReviewModel::titleChanged, this, [this] { setWindowTitle(m_model->title()); });
    connect(m_model, &CaptureReviewModel::availabilityChanged, this, &CaptureReviewView::build);
    connect(m_model, &CaptureReviewModel::changed, this, &CaptureReviewView::refresh);
    connect(m_model, &CaptureReviewModel::dismissRequested, this, [this] { finish(QDialog::Accepted); });

    auto *saveKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")), this);
    connect(saveKey, &QShortcut::activated, this, [this] {
        if (m_save && m_save->isEnabled())
            m_model->save();
    });
    build();
}

CaptureReviewView::~CaptureReviewView() = default;

QSize CaptureReviewView::sizeHint() const
{
    if (m_unavailable)
        return QSize(500, 320);
    return sheetSizeWithinScreen(this, QSize(1040, 760), 0.9).expandedTo(minimumSizeHint());
}

void CaptureReviewView::build()
{
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->deleteLater();
        m_content = nullptr;
    }
    m_editor = nullptr;
    m_unavailable = nullptr;
    m_note = nullptr;
    m_copy = m_save = m_frame = nullptr;
    m_cancel = nullptr;
    m_keep = nullptr;

    if (m_model->isLoading()) {
        // The sheet keeps its size while the picture comes, empty rather
        // than saying anything that would be gone a moment later.
        m_content = new QWidget(this);
        layout()->addWidget(m_content);
        return;
    }
    if (!m_model->isAvailable()) {
        const bool unreadable = m_model->hasUnreadableAnnotations();
        m_unavailable = new StudioEmptyState(
            unreadable ? QStringLiteral("Annotations unreadable") : QStringLiteral("Snip unavailable"),
            unreadable ? message(AnnotatedCardError::annotationsUnreadable)
                       : QStringLiteral("This capture may have been deleted."),
            QStringLiteral("photo.badge.exclamationmark"));
        m_content = m_unavailable;
        m_content->setParent(this);
        setMinimumSize(0, 0);
        m_unavailable->setFixedSize(500, 320);
        layout()->addWidget(m_content);
        adjustSize();
        return;
    }

    m_model->load();
    m_content = new QWidget(this);
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_editor = new AnnotationEditorView(m_model->image(), m_model->editor(), m_content);
    column->addWidget(m_editor, 1);
    column->addWidget(new StudioDivider(Qt::Horizontal, m_content));
    column->addWidget(buildActionBar());
    layout()->addWidget(m_content);
    refresh();
    m_editor->setFocus(Qt::OtherFocusReason);
}

QWidget *CaptureReviewView::buildActionBar()
{
    auto *noteRow = new QWidget;
    auto *note = new QHBoxLayout(noteRow);
    note->setContentsMargins(0, 0, 0, 0);
    note->setSpacing(12);
    auto *symbol = new SymbolLabel(QStringLiteral("quote.bubble"), 16, SemanticColor::secondary, noteRow);
    m_note = new QLineEdit(noteRow);
    m_note->setPlaceholderText(QStringLiteral("What caught your attention? (optional)"));
    m_note->setAccessibleName(QStringLiteral("What caught your attention? (optional)"));
    m_note->setFrame(false);
    QPalette plain = m_note->palette();
    plain.setColor(QPalette::Base, Qt::transparent);
    m_note->setPalette(plain);
    m_note->setMinimumWidth(minimumNoteWidth);
    m_note->setText(m_model->contextText());
    textInputDirection(m_note);
    connect(m_note, &QLineEdit::textEdited, m_model, &CaptureReviewModel::setContextText);
    note->addWidget(symbol);
    note->addWidget(m_note, 1);

    auto *buttonRow = new QWidget;
    auto *buttons = new QHBoxLayout(buttonRow);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    m_copy = new StudioActionButton(QStringLiteral("Copy"), QStringLiteral("doc.on.doc"), false,
                                    StudioControlProminence::standard, [this] { m_model->copy(); }, buttonRow);
    m_copy->setToolTip(QStringLiteral("Copy this annotated snip"));
    m_save = new StudioActionButton(QStringLiteral("Save…"), QStringLiteral("square.and.arrow.down"), false,
                                    StudioControlProminence::standard, [this] { m_model->save(); }, buttonRow);
    m_save->setToolTip(QStringLiteral("Save this annotated snip as a PNG"));
    m_frame = new StudioActionButton(QStringLiteral("Frame…"), QStringLiteral("macwindow"), false,
                                     StudioControlProminence::standard, [this] { m_model->frame(); }, buttonRow);
    m_frame->setToolTip(QStringLiteral("Add a background, padding, corners, and shadow"));
    m_cancel = new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, buttonRow);
    m_cancel->setTracksHover(true);
    connect(m_cancel, &QAbstractButton::clicked, m_model, &CaptureReviewModel::cancel);
    m_keep = new TessalinePrimaryButton(QStringLiteral("Keep Snip"), QString(), buttonRow);
    connect(m_keep, &QAbstractButton::clicked, m_model, &CaptureReviewModel::keep);
    for (QWidget *button : {static_cast<QWidget *>(m_copy), static_cast<QWidget *>(m_save),
                            static_cast<QWidget *>(m_frame), static_cast<QWidget *>(m_cancel),
                            static_cast<QWidget *>(m_keep)})
        buttons->addWidget(button);

    return new ActionBar(noteRow, buttonRow, m_content);
}

void CaptureReviewView::refresh()
{
    if (m_copy) {
        const bool copied = m_model->isCopied();
        m_copy->setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
        m_copy->setSystemImage(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    }
    if (m_save)
        m_save->setEnabled(!m_model->isExporting());
    for (QWidget *closing : {static_cast<QWidget *>(m_keep), static_cast<QWidget *>(m_frame),
                             static_cast<QWidget *>(m_cancel)}) {
        if (closing)
            closing->setEnabled(!m_model->isKeeping());
    }
    if (m_note && m_note->text() != m_model->contextText())
        m_note->setText(m_model->contextText());
    showErrorIfNeeded();
}

void CaptureReviewView::showErrorIfNeeded()
{
    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t save snip"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void CaptureReviewView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_keep) {
        m_model->keep();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CaptureReviewView::reject()
{
    // Escape, the window's close button and Cancel all end the review the
    // same way.
    if (m_finishing)
        return QDialog::reject();
    m_model->cancel();
}

void CaptureReviewView::finish(int result)
{
    if (m_finishing)
        return;
    m_finishing = true;
    done(result);
}

} // namespace tessaline
