#include "notes/BoardWritingReferenceView.h"

#include "runtime/ImageExportService.h"
#include "runtime/NavigationState.h"
#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/FunctionalSurface.h"
#include "design/GuidedTourHighlight.h"
#include "design/StudioCardButton.h"
#include "design/StudioIconButton.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"
#include "runtime/SnipPictureReading.h"
#include "notes/SnipImageView.h"
#include "notes/WritingAccessibility.h"
#include "notes/WritingReferencePresentation.h"
#include "platform/Pasteboard.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace tessaline {

namespace Presentation = WritingReferencePresentation;

namespace {

// The snip's actions button lies over its picture, so it stands on a disc of
// the regular material: bare, its dark symbol vanished on a dark picture.
class SnipActionsButton : public StudioIconButton
{
public:
    explicit SnipActionsButton(QWidget *parent)
        : StudioIconButton(QStringLiteral("Snip actions"), QStringLiteral("ellipsis"), false,
                           StudioControlProminence::standard, {}, parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter painter(this);
            const QRectF disc = QRectF(rect());
            paintFunctionalSurface(&painter, disc, FunctionalSurfaceRole::popover, disc.width() / 2, palette(),
                                   DesignEnvironment::current());
        }
        StudioIconButton::paintEvent(event);
    }
};

// More characters than a line of the widest column holds in the narrowest
// letters.
constexpr qsizetype longestShownLine = 500;

// A label that keeps to a number of lines, as the compact rows ask. It
// holds only what those lines can show: each layout pass measures the
// label's whole text, and a thought of megabytes held the window for tens
// of seconds.
StudioText *limitedText(const QString &text, const QFont &font, SemanticColor color, int maximumLines)
{
    const qsizetype shown = maximumLines > 0 ? maximumLines * longestShownLine : CanvasCard::maximumShownTextLength;
    auto *label = new StudioText(prefixWithin(text, shown), font, color);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    label->setMaximumLines(maximumLines);
    return label;
}

} // namespace

BoardWritingReferenceView::BoardWritingReferenceView(CanvasCard *card, NoteAttachmentSize size, SnipImageCache *images,
                                                     QWidget *parent)
    : QuietCard(card && card->kind() == CardKind::snip ? QuietCardTone::snip : QuietCardTone::thought, false,
                QuietCardElevation::flat, 0, parent)
    , m_card(card)
    , m_size(size)
    , m_images(images)
{
    installWritingAccessibility();
    setFocusPolicy(Qt::TabFocus);
    rebuild();
    if (card) {
        connect(card, &CanvasCard::changed, this, [this](int property) {
            // Texts and kind change the content; the picture follows by itself.
            switch (property) {
            case CanvasCard::TitleProperty:
            case CanvasCard::MarkdownTextProperty:
            case CanvasCard::ContextTextProperty:
            case CanvasCard::OcrTextProperty:
            case CanvasCard::KindRawValueProperty:
            case CanvasCard::ThoughtKindRawValueProperty:
                rebuild();
                break;
            default:
                break;
            }
        });
    }
}

void BoardWritingReferenceView::setSize(NoteAttachmentSize size)
{
    if (m_size == size)
        return;
    m_size = size;
    rebuild();
}

void BoardWritingReferenceView::rebuild()
{
    if (!m_card)
        return;
    const bool isSnip = m_card->kind() == CardKind::snip;
    setTone(isSnip ? QuietCardTone::snip : QuietCardTone::thought);
    setAccessibleName(Presentation::accessibleName(*m_card));
    setAccessibleDescription(Presentation::accessibleDescription(*m_card));
    // A capture's recognised words arrive after its row is shown, and most
    // rows show none of them: remaking the content for them held the main
    // thread for milliseconds at each capture.
    QStringList shown = shownTexts();
    if (content() && shown == m_shown)
        return;
    m_shown = std::move(shown);

    delete m_actionsButton;
    m_actionsButton = nullptr;
    // The old content may be the sender of what led here, so it is deleted
    // later; it leaves the layout now so it takes no room meanwhile.
    if (QWidget *old = content()) {
        old->hide();
        if (layout())
            layout()->removeWidget(old);
    }
    setContent(isSnip ? buildSnipContent() : buildThoughtContent());

    if (isSnip) {
        m_actionsButton = new SnipActionsButton(this);
        m_actionsButton->setObjectName(QStringLiteral("snipActionsButton"));
        // The Menu key on the card opens the same menu; the button shown
        // under the pointer is no stop of the window's focus chain.
        m_actionsButton->setFocusPolicy(Qt::ClickFocus);
        m_actionsButton->setFixedSize(int(Presentation::actionsButtonSize), int(Presentation::actionsButtonSize));
        connect(m_actionsButton, &QAbstractButton::clicked, this, [this]() {
            popUpActionsMenu(m_actionsButton->mapToGlobal(QPoint(0, m_actionsButton->height())));
        });
        m_actionsButton->setVisible(isHovered());
        placeActionsButton();
    }
    updateGeometry();
}

QStringList BoardWritingReferenceView::shownTexts() const
{
    if (m_card->kind() == CardKind::snip) {
        const Presentation::SnipCaption caption = Presentation::snipCaption(*m_card, m_size);
        return {QStringLiteral("snip"), QString::number(int(m_size)), QString::number(int(caption.kind)), caption.text,
                caption.hint};
    }
    return {QStringLiteral("thought"), QString::number(int(m_card->thoughtKind())), m_card->displayTitle(),
            m_card->markdownText()};
}

QWidget *BoardWritingReferenceView::buildSnipContent()
{
    const Presentation::SnipLayout layout = Presentation::snipLayout(m_size);
    const Presentation::SnipCaption caption = Presentation::snipCaption(*m_card, m_size);

    auto *content = new QWidget;
    if (layout.contentMaxWidth)
        content->setMaximumWidth(int(*layout.contentMaxWidth));
    const int padding = int(Presentation::snipContentPadding);

    auto *image = new SnipImageView(m_card, m_size, m_images);
    image->onClick = [this]() { open(); };
    m_image = image;

    QWidget *captionWidget = nullptr;
    if (caption.kind == Presentation::SnipCaption::Kind::caption) {
        auto *label = new StudioText(caption.text, TessalineTypography::systemFont(12, QFont::Normal), SemanticColor::secondary);
        label->setObjectName(QStringLiteral("snipCaption"));
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
        captionWidget = label;
    } else if (caption.kind == Presentation::SnipCaption::Kind::titleAndHint) {
        captionWidget = new QWidget;
        auto *column = new QVBoxLayout(captionWidget);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(4);
        auto *title = limitedText(caption.text, TessalineTypography::systemFont(12, QFont::Medium), SemanticColor::label, 2);
        title->setObjectName(QStringLiteral("snipTitle"));
        column->addWidget(title);
        auto *hint = limitedText(caption.hint, TessalineTypography::systemFont(11, QFont::Normal), SemanticColor::tertiary, 0);
        hint->setObjectName(QStringLiteral("snipCaptionHint"));
        column->addWidget(hint);
        column->addStretch();
    }

    if (layout.sideBySide) {
        auto *row = new QHBoxLayout(content);
        row->setContentsMargins(padding, padding, padding, padding);
        row->setSpacing(int(layout.spacing));
        const QSize fitted = image->sizeHint();
        image->setFixedSize(fitted);
        row->addWidget(image, 0, Qt::AlignTop);
        if (captionWidget)
            row->addWidget(captionWidget, 1, Qt::AlignTop);
        else
            row->addStretch(1);
    } else {
        auto *column = new QVBoxLayout(content);
        column->setContentsMargins(padding, padding, padding, padding);
        column->setSpacing(int(layout.spacing));
        column->addWidget(image);
        if (captionWidget)
            column->addWidget(captionWidget);
    }
    return content;
}

QWidget *BoardWritingReferenceView::buildThoughtContent()
{
    auto *button = new StudioCardButton;
    button->setObjectName(QStringLiteral("openThoughtButton"));
    // Tab stops at the card, whose Return opens it: the button is no stop
    // of its own, which the window's focus chain would reach out of order.
    button->setFocusPolicy(Qt::ClickFocus);
    button->setAccessibleName(Presentation::accessibleName(*m_card));
    connect(button, &QAbstractButton::clicked, this, [this]() { open(); });

    auto *content = new QWidget;
    auto *row = new QHBoxLayout(content);
    const int padding = int(Presentation::thoughtRowPadding);
    row->setContentsMargins(padding, padding, padding, padding);
    row->setSpacing(int(Presentation::thoughtRowSpacing));
    auto *icon = new SymbolLabel(Presentation::thoughtSymbol(m_card->thoughtKind()), 16, SemanticColor::secondary);
    icon->setObjectName(QStringLiteral("thoughtSymbol"));
    row->addWidget(icon, 0, Qt::AlignVCenter);

    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    auto *title = limitedText(m_card->displayTitle(), TessalineTypography::systemFont(14, QFont::DemiBold),
                              SemanticColor::label, 0);
    title->setObjectName(QStringLiteral("thoughtTitle"));
    column->addWidget(title);
    if (!m_card->markdownText().isEmpty()) {
        auto *text = limitedText(m_card->markdownText(), TessalineTypography::systemFont(13, QFont::Normal),
                                 SemanticColor::secondary, 3);
        text->setObjectName(QStringLiteral("thoughtText"));
        column->addWidget(text);
    }
    row->addLayout(column, 1);
    button->setContent(content);
    return button;
}

QMenu *BoardWritingReferenceView::createActionsMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    if (!m_card)
        return menu;
    using Action = Presentation::MenuEntry::Action;
    const QPointer<BoardWritingReferenceView> self(this);
    for (const Presentation::MenuEntry &entry : Presentation::actionsMenuContent(*m_card, m_size, m_copied)) {
        if (entry.action == Action::separator) {
            menu->addSeparator();
            continue;
        }
        if (entry.action == Action::viewAs) {
            QMenu *sizes = menu->addMenu(SymbolIcon::icon(entry.systemImage), menuEscapedText(entry.title));
            for (const auto &choice : entry.sizes) {
                sizes->addAction(SymbolIcon::icon(choice.systemImage), menuEscapedText(choice.title), this, [self, size = choice.size]() {
                    if (self && self->onChangeSize)
                        self->onChangeSize(size);
                });
            }
            continue;
        }
        QAction *action = menu->addAction(SymbolIcon::icon(entry.systemImage), menuEscapedText(entry.title));
        action->setData(int(entry.action));
        connect(action, &QAction::triggered, this, [self, which = entry.action]() {
            if (!self)
                return;
            switch (which) {
            case Action::open: self->open(); break;
            case Action::copy: self->copyImage(); break;
            case Action::saveAs: self->saveImage(); break;
            case Action::annotate:
                if (self->m_navigation && self->m_card)
                    self->m_navigation->setCaptureReviewCardID(self->m_card->id());
                break;
            case Action::copyWithFrame:
                if (self->m_navigation && self->m_card)
                    self->m_navigation->setFrameComposerCardID(self->m_card->id());
                break;
            case Action::remove:
                if (self->onRemove)
                    self->onRemove();
                break;
            case Action::viewAs:
            case Action::separator:
                break;
            }
        });
    }
    return menu;
}

void BoardWritingReferenceView::open()
{
    if (onOpen)
        onOpen();
}

void BoardWritingReferenceView::copyImage()
{
    if (!m_card)
        return;
    Pasteboard &pasteboard = m_pasteboard ? *m_pasteboard : ClipboardPasteboard::general();
    copySnipPicture(this, *m_card, pasteboard, [this](bool copied) {
        if (copied)
            m_copied = true;
    });
}

void BoardWritingReferenceView::saveImage()
{
    if (!m_card)
        return;
    exportSnipPicture(this, *m_card, [this](const CanvasCard &card, const QImage &image) {
        const QPointer<QWidget> owner(window());
        ImageExportService::savePNG(image, card.displayTitle(), window(), [owner](const SaveFileOutcome &outcome) {
            if (outcome)
                return;
            // A snip that silently fails to save looks saved; say so instead.
            auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("The snip could not be saved."),
                                        QStringLiteral("The snip could not be saved."), QMessageBox::Ok, owner.data());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setTextFormat(Qt::PlainText);
            box->setInformativeText(outcome.error());
            box->open();
        });
    });
}

void BoardWritingReferenceView::popUpActionsMenu(const QPoint &globalPosition)
{
    // The Menu key comes both as a key and, from the display server, as a
    // context menu request: one menu answers both.
    if (m_menu && m_menu->isVisible())
        return;
    m_menu = createActionsMenu(this);
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    m_menu->popup(globalPosition);
}

QPoint BoardWritingReferenceView::keyboardMenuPosition() const
{
    if (m_actionsButton)
        return m_actionsButton->mapToGlobal(QPoint(0, m_actionsButton->height()));
    const QRectF card = cardRect();
    const int inset = int(Presentation::actionsButtonPadding);
    const QPointF corner = layoutDirection() == Qt::RightToLeft ? card.topRight() + QPointF(-inset, inset)
                                                                 : card.topLeft() + QPointF(inset, inset);
    return mapToGlobal(corner.toPoint());
}

void BoardWritingReferenceView::contextMenuEvent(QContextMenuEvent *event)
{
    popUpActionsMenu(event->reason() == QContextMenuEvent::Keyboard ? keyboardMenuPosition() : event->globalPos());
    event->accept();
}

void BoardWritingReferenceView::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        open();
        event->accept();
        return;
    }
    if ((modifiers == Qt::NoModifier && key == Qt::Key_Menu) || (modifiers == Qt::ShiftModifier && key == Qt::Key_F10)) {
        popUpActionsMenu(keyboardMenuPosition());
        event->accept();
        return;
    }
    QuietCard::keyPressEvent(event);
}

void BoardWritingReferenceView::enterEvent(QEnterEvent *event)
{
    QuietCard::enterEvent(event);
    setHoverShown(true);
}

void BoardWritingReferenceView::leaveEvent(QEvent *event)
{
    QuietCard::leaveEvent(event);
    setHoverShown(false);
}

void BoardWritingReferenceView::setHoverShown(bool shown)
{
    setElevation(shown ? QuietCardElevation::floating : QuietCardElevation::flat);
    if (shown)
        raise();
    if (m_actionsButton) {
        m_actionsButton->setVisible(shown);
        placeActionsButton();
        m_actionsButton->raise();
    }
}

void BoardWritingReferenceView::resizeEvent(QResizeEvent *event)
{
    QuietCard::resizeEvent(event);
    placeActionsButton();
}

void BoardWritingReferenceView::setTourHighlighted(bool highlighted)
{
    if (!m_tourRing) {
        if (!highlighted)
            return;
        m_tourRing = new AnimatedAmount(this, GuidedTourHighlight::motion());
        connect(m_tourRing, &AnimatedAmount::valueChanged, this, qOverload<>(&QWidget::update));
    }
    m_tourRing->setOn(highlighted);
}

bool BoardWritingReferenceView::isTourHighlighted() const
{
    return m_tourRing && m_tourRing->isOn();
}

QRectF BoardWritingReferenceView::tourRingRect() const
{
    if (!m_image || !m_tourRing || m_tourRing->value() <= 0)
        return {};
    const QRectF picture = m_image->imageRect();
    if (picture.isEmpty())
        return {};
    return GuidedTourHighlight::ringRect(picture.translated(m_image->mapTo(this, QPointF(0, 0))));
}

void BoardWritingReferenceView::paintEvent(QPaintEvent *event)
{
    QuietCard::paintEvent(event);
    const QRectF ring = tourRingRect();
    if (ring.isEmpty())
        return;
    // The ring stands outside the picture, in the card's padding, where the
    // picture's own view does not paint.
    const qreal outset = GuidedTourHighlight::outset;
    QPainter painter(this);
    GuidedTourHighlight::paint(&painter, ring.adjusted(outset, outset, -outset, -outset),
                               Presentation::imageCornerRadius, m_tourRing->value(), palette(),
                               DesignEnvironment::current().increasedContrast);
}

void BoardWritingReferenceView::placeActionsButton()
{
    if (!m_actionsButton)
        return;
    // Over the top-trailing corner of the content, inset by its padding.
    const QRectF card = cardRect();
    const int inset = int(Presentation::actionsButtonPadding);
    QWidget *content = this->content();
    const qreal right = content ? content->geometry().right() + 1 : card.right();
    const qreal x = layoutDirection() == Qt::RightToLeft ? card.left() + inset
                                                          : std::min(card.right(), right) - inset - m_actionsButton->width();
    m_actionsButton->move(int(std::round(x)), int(std::round(card.top())) + inset);
}

} // namespace tessaline
