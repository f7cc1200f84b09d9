#include "shell/CaptureCompletionToastView.h"

#include "runtime/AppRuntime.h"
#include "shell/CaptureToastModel.h"
#include "shell/PopupFieldTyping.h"
#include "runtime/ImageExportService.h"
#include "design/DialogOwner.h"
#include "design/ErrorAlert.h"
#include "design/FunctionalSurface.h"
#include "design/SemanticPalette.h"
#include "design/StudioActionButton.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "model/ModelContext.h"
#include "platform/Pasteboard.h"
#include "platform/SymbolIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaline {
namespace {

constexpr QSize kThumbnailSize(80, 54);

QPixmap thumbnailPixmap(const QImage &image, qreal devicePixelRatio)
{
    QPixmap canvas(kThumbnailSize * devicePixelRatio);
    canvas.setDevicePixelRatio(devicePixelRatio);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    const QRectF bounds(QPointF(0, 0), QSizeF(kThumbnailSize));
    shape.addRoundedRect(bounds, 8, 8);
    painter.setClipPath(shape);
    if (!image.isNull()) {
        // Fill the frame, cropping what overflows. Reduced to the frame's
        // pixels first and drawn as it is: drawing the preview scaled would
        // convert and blend it in parts on the thread pool, which the main
        // thread then waits for (and, on a busy machine, long).
        const QSizeF scaled = QSizeF(image.size()).scaled(bounds.size(), Qt::KeepAspectRatioByExpanding);
        const QSize pixels = (scaled * devicePixelRatio).toSize().expandedTo(QSize(1, 1));
        QImage reduced = image.size() == pixels ? image
                                                : image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        reduced.setDevicePixelRatio(devicePixelRatio);
        const QRectF target(QPointF((bounds.width() - scaled.width()) / 2, (bounds.height() - scaled.height()) / 2), scaled);
        painter.drawImage(target, reduced);
    } else {
        QColor fill = QPalette().color(QPalette::WindowText);
        fill.setAlphaF(0.08);
        painter.fillRect(bounds, fill);
        const QPixmap symbol = SymbolIcon::icon(QStringLiteral("photo")).pixmap(QSize(22, 22), devicePixelRatio);
        painter.drawPixmap(QPointF((bounds.width() - 22) / 2, (bounds.height() - 22) / 2), symbol);
    }
    painter.setClipping(false);
    QColor stroke = QPalette().color(QPalette::WindowText);
    stroke.setAlphaF(0.2 * 0.55);
    painter.setPen(QPen(stroke, 1));
    painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    return canvas;
}

} // namespace

CaptureCompletionToastView::CaptureCompletionToastView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent)
    : QWidget(parent)
    , m_runtime(runtime)
    , m_model(new CaptureToastModel(cardID, runtime, this))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    auto *surface = new FunctionalSurface(FunctionalSurfaceRole::popover, 14, this);
    outer->addWidget(surface);

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);

    auto *row1 = new QHBoxLayout;
    row1->setSpacing(10);
    m_thumbnail = new QLabel;
    m_thumbnail->setFixedSize(kThumbnailSize);
    row1->addWidget(m_thumbnail);
    auto *details = new QVBoxLayout;
    details->setSpacing(4);
    auto *header = new QHBoxLayout;
    header->setSpacing(6);
    m_header = new QLabel;
    m_header->setTextFormat(Qt::PlainText);
    // A long note name takes a second line rather than being cut.
    m_header->setWordWrap(true);
    QFont headerFont = m_header->font();
    headerFont.setPixelSize(12);
    headerFont.setWeight(QFont::DemiBold);
    m_header->setFont(headerFont);
    header->addWidget(new SymbolLabel(QStringLiteral("checkmark.circle.fill"), 14, SemanticColor::primary));
    header->addWidget(m_header, 1);
    m_copied = new QLabel(tr("Copied"));
    QFont copiedFont = m_copied->font();
    copiedFont.setPixelSize(10);
    copiedFont.setWeight(QFont::Medium);
    m_copied->setFont(copiedFont);
    header->addWidget(m_copied);
    header->addSpacing(6);
    auto *dismiss = new QToolButton;
    dismiss->setAutoRaise(true);
    dismiss->setIcon(SymbolIcon::icon(QStringLiteral("xmark")));
    dismiss->setToolTip(tr("Dismiss"));
    dismiss->setAccessibleName(tr("Dismiss capture confirmation"));
    connect(dismiss, &QToolButton::clicked, this, &CaptureCompletionToastView::closeRequested);
    header->addWidget(dismiss);
    details->addLayout(header);
    m_source = new QLabel;
    m_source->setTextFormat(Qt::PlainText);
    m_source->setWordWrap(true);
    QFont sourceFont = m_source->font();
    sourceFont.setPixelSize(11);
    sourceFont.setWeight(QFont::Medium);
    m_source->setFont(sourceFont);
    keepSemanticColors(m_source, {{QPalette::WindowText, {SemanticColor::label, 0.5}}});
    details->addWidget(m_source);
    row1->addLayout(details, 1);
    column->addLayout(row1);

    m_caption = new QLineEdit;
    m_caption->setPlaceholderText(tr("Add a caption (optional)"));
    m_caption->setAccessibleName(tr("Caption for this snip"));
    connect(m_caption, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_model->setContextText(text);
        textInputDirection(m_caption);
    });
    column->addWidget(m_caption);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(8);
    m_copy = new StudioActionButton(tr("Copy"), QStringLiteral("doc.on.doc"), false, StudioControlProminence::standard,
                                    [this] {
                                        m_model->copyImage(ClipboardPasteboard::general());
                                    });
    m_save = new StudioActionButton(tr("Save\u2026"), QStringLiteral("square.and.arrow.down"), false,
                                    StudioControlProminence::standard, [this] { save(); });
    auto *frame = new StudioActionButton(tr("Frame\u2026"), QStringLiteral("macwindow"), false,
                                         StudioControlProminence::standard, [this] { m_model->openFrameComposer(); });
    auto *annotate = new StudioActionButton(tr("Annotate"), QString(), false, StudioControlProminence::standard,
                                            [this] { m_model->openReview(); });
    auto *open = new TessalinePrimaryButton(tr("Open"));
    open->setControlSize(StudioControlSize::small);
    connect(open, &QAbstractButton::clicked, m_model, &CaptureToastModel::openNote);
    // Each button keeps its whole label: the toast grows to hold the row
    // rather than squeezing the buttons (desktop fonts differ in width).
    for (QWidget *button : std::initializer_list<QWidget *>{m_copy, m_save, frame, annotate, open})
        button->setSizePolicy(QSizePolicy::Minimum, button->sizePolicy().verticalPolicy());
    actions->addWidget(m_copy);
    actions->addWidget(m_save);
    actions->addWidget(frame);
    actions->addStretch(1);
    actions->addWidget(annotate);
    actions->addWidget(open);
    column->addLayout(actions);
    surface->setContent(content);

    // Open is the toast's default action: Return takes it wherever the
    // keyboard is in the toast (the caption, or a button just clicked),
    // as a dialog's default button would.
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *defaultAction = new QShortcut(key, this);
        defaultAction->setContext(Qt::WidgetWithChildrenShortcut);
        connect(defaultAction, &QShortcut::activated, m_model, &CaptureToastModel::openNote);
    }
    // Under Wayland the toast is a pop-up, which never has the keyboard.
    new PopupFieldTyping(*m_caption, [model = m_model] { model->openNote(); });
    connect(m_model, &CaptureToastModel::closeRequested, this, &CaptureCompletionToastView::closeRequested);
    connect(m_model, &CaptureToastModel::changed, this, &CaptureCompletionToastView::refresh);
    connect(&m_runtime.modelContext(), &ModelContext::didSave, this, &CaptureCompletionToastView::refresh);

    if (!cardID.isNull()) {
        m_model->loadInitialState();
        m_caption->setText(m_model->contextText());
        refresh();
    }
}

void CaptureCompletionToastView::showCard(const QUuid &cardID)
{
    m_closing = false;
    m_showsPicture = false;
    m_thumbnail->setPixmap(QPixmap());
    m_model->showCard(cardID);
    m_caption->setText(m_model->contextText());
    refresh();
}

CaptureCompletionToastView::~CaptureCompletionToastView() = default;

void CaptureCompletionToastView::refresh()
{
    if (m_model->cardID().isNull())
        return;
    const CanvasCard *card = m_model->currentCard();
    if (!card) {
        // Trashed or gone: nothing left to confirm.
        m_header->setText(tr("Capture saved"));
        if (!m_closing) {
            m_closing = true;
            QTimer::singleShot(0, this, &CaptureCompletionToastView::closeRequested);
        }
        return;
    }
    m_header->setText(tr("Added to %1").arg(m_model->noteTitle()));
    m_copied->setVisible(m_model->isCopied() || m_model->isCopyHeldBack());
    m_copied->setText(m_model->isCopyHeldBack() ? tr("Not copied") : tr("Copied"));
    m_copied->setToolTip(m_model->isCopyHeldBack()
                             ? tr("The desktop lets an app copy only while you use one of its windows. Click Copy.")
                             : QString());
    m_copy->setText(m_model->isCopied() ? tr("Copied") : tr("Copy"));
    m_copy->setSystemImage(m_model->isCopied() ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    m_save->setEnabled(!m_model->isExporting());
    const QString source = m_model->sourceDescription();
    m_source->setVisible(!source.isEmpty());
    m_source->setText(source);
    // The placeholder until the picture is there, then the picture.
    const QImage picture = m_model->thumbnailSource();
    if (m_thumbnail->pixmap().isNull() || (!m_showsPicture && !picture.isNull())) {
        m_thumbnail->setPixmap(thumbnailPixmap(picture, devicePixelRatioF()));
        m_showsPicture = !picture.isNull();
    }
    showPendingError();
}

// The thumbnail's frame (and its placeholder) are drawn once in the colours
// of the moment: drawn again when the desktop's appearance changes.
void CaptureCompletionToastView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_thumbnail && !m_thumbnail->pixmap().isNull())
        m_thumbnail->setPixmap(thumbnailPixmap(m_model->thumbnailSource(), devicePixelRatioF()));
}

void CaptureCompletionToastView::showPendingError()
{
    const auto message = m_model->errorMessage();
    if (!message)
        return;
    // Cleared before the alert opens, so a message set while it is up is
    // never wiped by closing it.
    m_model->setErrorMessage(std::nullopt);
    const QString title = QStringLiteral("Couldn\u2019t finish that action");
    QMessageBox box(QMessageBox::Warning, title, QString(), QMessageBox::Ok, this);
    sayWhatFailed(box, title, *message);
    keepDialogOffPopups(box);
    box.exec();
}

void CaptureCompletionToastView::save()
{
    m_model->prepareSave([this](const QImage &image, const QString &title) {
        // Under Wayland the toast is a popup of the window in use, and the
        // desktop closes it as the save dialog takes the keyboard; sway ends the
        // app when the toast draws (its button, its texts) into the popup it is
        // closing. It goes now instead, as it would then, and the save goes on.
        if (windowType() == Qt::ToolTip || windowType() == Qt::Popup)
            hide();
        const QPointer<CaptureCompletionToastView> self(this);
        const QUuid cardID = m_model->cardID();
        ImageExportService::savePNG(image, title, this, [self, cardID](const SaveFileOutcome &outcome) {
            if (!self || self->m_model->cardID() != cardID)
                return;
            if (!outcome)
                self->m_model->setErrorMessage(outcome.error());
            self->m_model->setExporting(false);
        });
    });
    showPendingError();
}

} // namespace tessaline
