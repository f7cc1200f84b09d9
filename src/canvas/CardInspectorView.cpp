#include "canvas/CardInspectorView.h"

#include "canvas/CardInspectorModel.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SheetControls.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TextInputDirection.h"
#include "design/WrittenText.h"
#include "model/CanvasCard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaline {

namespace {

StudioText *sectionTitle(const QString &title, QWidget *parent)
{
    return new StudioText(title, TessalineTypography::headline(), SemanticColor::secondary, parent);
}

QLabel *value(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A collapsed group whose content shows when its title is clicked.
QWidget *disclosure(const QString &title, QWidget *content, QWidget *parent)
{
    auto *group = new QWidget(parent);
    auto *layout = new QVBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *toggle = new QToolButton(group);
    toggle->setText(title);
    toggle->setCheckable(true);
    toggle->setChecked(false);
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setArrowType(Qt::RightArrow);
    toggle->setAutoRaise(true);
    layout->addWidget(toggle);
    content->setParent(group);
    content->setVisible(false);
    layout->addWidget(content);
    QObject::connect(toggle, &QToolButton::toggled, group, [toggle, content](bool open) {
        toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        content->setVisible(open);
    });
    return group;
}

} // namespace

CardInspectorView::CardInspectorView(LibraryQuery &library, NavigationState &navigation, QWidget *parent)
    : QWidget(parent)
    , m_model(new CardInspectorModel(library, navigation, {}, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);
    m_nothing = new StudioEmptyState(CardInspectorForm::nothingSelectedTitle(),
                                     CardInspectorForm::nothingSelectedMessage(), QStringLiteral("sidebar.right"));
    auto *nothing = new QWidget(m_stack);
    auto *nothingLayout = new QVBoxLayout(nothing);
    nothingLayout->addWidget(m_nothing, 0, Qt::AlignCenter);
    m_stack->addWidget(nothing);

    connect(m_model, &CardInspectorModel::selectionChanged, this, &CardInspectorView::rebuild);
    connect(m_model, &CardInspectorModel::cardsChanged, this, &CardInspectorView::refreshValues);
    rebuild();
}

QWidget *CardInspectorView::currentContent() const
{
    return m_stack->currentWidget();
}

void CardInspectorView::rebuild()
{
    if (m_content) {
        m_stack->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_formCardID = QUuid();
    switch (m_model->content()) {
    case CardInspectorModel::Content::nothing:
        m_stack->setCurrentIndex(0);
        return;
    case CardInspectorModel::Content::multiple:
        m_content = makeMultiple(m_model->selectedCards().size());
        break;
    case CardInspectorModel::Content::card:
        m_content = makeForm();
        break;
    }
    m_stack->addWidget(m_content);
    m_stack->setCurrentWidget(m_content);
}

QWidget *CardInspectorView::makeMultiple(qsizetype count)
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(new SymbolLabel(QStringLiteral("square.stack.3d.up"), 24, SemanticColor::secondary, pane), 0,
                      Qt::AlignHCenter);
    auto *text = new StudioText(CardInspectorForm::multipleSelectionText(count), TessalineTypography::headline(),
                                SemanticColor::label, pane);
    text->setAccessibleName(text->text());
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return pane;
}

QWidget *CardInspectorView::makeForm()
{
    CanvasCard *card = m_model->card();
    const CardInspectorForm form = CardInspectorForm::of(*card);
    m_formCardID = card->id();

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *page = new QWidget(scroll);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);

    layout->addWidget(sectionTitle(QStringLiteral("Card"), page));
    auto *cardFields = new QFormLayout;
    m_title = new QLineEdit(form.title, page);
    m_title->setAccessibleName(QStringLiteral("Title"));
    textInputDirection(m_title);
    connect(m_title, &QLineEdit::textEdited, m_model, &CardInspectorModel::setTitle);
    cardFields->addRow(QStringLiteral("Title"), m_title);
    m_kind = nullptr;
    if (form.showsKind) {
        m_kind = new QComboBox(page);
        m_kind->setAccessibleName(QStringLiteral("Kind"));
        for (ThoughtKind kind : allThoughtKinds())
            m_kind->addItem(displayName(kind), int(kind));
        m_kind->setCurrentIndex(m_kind->findData(int(form.kind)));
        connect(m_kind, &QComboBox::activated, this, [this](int index) {
            m_model->setKind(ThoughtKind(m_kind->itemData(index).toInt()));
        });
        cardFields->addRow(QStringLiteral("Kind"), m_kind);
    }
    layout->addLayout(cardFields);

    layout->addWidget(sectionTitle(QStringLiteral("Context"), page));
    m_context = new QPlainTextEdit(form.context, page);
    m_context->setMinimumHeight(80);
    m_context->setAccessibleName(QStringLiteral("Context"));
    textInputDirection(m_context);
    breakLinesOnShiftReturn(m_context);
    tabLeavesEditor(m_context);
    connect(m_context, &QPlainTextEdit::textChanged, this, [this] {
        if (m_context && m_context->document()->isModified())
            m_model->setContext(writtenText(m_context->document()));
    });
    layout->addWidget(m_context);

    m_details = makeDetails(form, page);
    m_shownDetails = form;
    layout->addWidget(m_details);
    layout->addStretch(1);
    scroll->setWidget(page);
    return scroll;
}

QWidget *CardInspectorView::makeDetails(const CardInspectorForm &form, QWidget *parent)
{
    auto *details = new QWidget(parent);
    auto *layout = new QVBoxLayout(details);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    if (form.showsSource) {
        layout->addWidget(sectionTitle(QStringLiteral("Source"), details));
        auto *rows = new QFormLayout;
        for (const CardInspectorForm::Row &row : form.sourceRows)
            rows->addRow(row.label, value(row.value, details));
        layout->addLayout(rows);
        if (form.technicalDetails) {
            auto *technical = new QWidget;
            auto *technicalRows = new QFormLayout(technical);
            technicalRows->addRow(form.technicalDetails->label, value(form.technicalDetails->value, technical));
            layout->addWidget(disclosure(QStringLiteral("Technical details"), technical, details));
        }
    }
    if (form.recognizedText) {
        QLabel *text = value(*form.recognizedText, nullptr);
        text->setFont(TessalineTypography::caption());
        layout->addWidget(disclosure(QStringLiteral("Recognized text"), text, details));
    }
    if (form.groundingText) {
        auto *row = new QHBoxLayout;
        row->addWidget(new SymbolLabel(QStringLiteral("link"), 11, SemanticColor::secondary, details));
        row->addWidget(new StudioText(*form.groundingText, TessalineTypography::systemFont(11, QFont::Medium),
                                      SemanticColor::secondary, details),
                       1);
        layout->addLayout(row);
    }
    return details;
}

void CardInspectorView::refreshValues()
{
    // Another screen may have changed the card; what is being typed wins.
    const CanvasCard *card = m_model->card();
    if (!card || card->id() != m_formCardID)
        return;
    const CardInspectorForm form = CardInspectorForm::of(*card);
    if (m_title && !m_title->hasFocus() && m_title->text() != form.title)
        setTextFromItsStart(m_title, form.title);
    if (m_kind)
        m_kind->setCurrentIndex(m_kind->findData(int(form.kind)));
    if (m_context && !m_context->hasFocus() && writtenText(m_context->document()) != form.context) {
        m_context->setPlainText(form.context);
        m_context->document()->setModified(false);
    }
    // Only the details are built anew, so the field being typed in keeps
    // the keyboard and its caret.
    if (m_details && !form.sameDetails(m_shownDetails)) {
        QWidget *details = makeDetails(form, m_details->parentWidget());
        // The layout hands back the old widget's item, which is ours to free.
        delete m_details->parentWidget()->layout()->replaceWidget(m_details, details);
        delete m_details;
        m_details = details;
        m_shownDetails = form;
    }
}

void CardInspectorView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_model->formAppeared();
}

void CardInspectorView::hideEvent(QHideEvent *event)
{
    m_model->formDisappeared();
    QWidget::hideEvent(event);
}

} // namespace tessaline
