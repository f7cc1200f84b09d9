#include "notes/FocusEditorView.h"

#include "notes/FocusEditorModel.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/SheetControls.h"
#include "design/SheetSize.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "design/WrittenText.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaline {

namespace {

// The snip's picture, fitted into the pane with its aspect ratio kept, on a
// faint shade.
class SnipPicturePane : public QWidget
{
public:
    explicit SnipPicturePane(QWidget *parent)
        : QWidget(parent)
    {
        setAccessibleName(QStringLiteral("Snip"));
        setMinimumWidth(160);
    }

    void setImage(const QImage &image)
    {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, qRound(255 * 0.03)));
        if (m_image.isNull())
            return;
        const QRect area = rect().adjusted(20, 20, -20, -20);
        if (area.isEmpty())
            return;
        QSize fitted = m_image.size().scaled(area.size(), Qt::KeepAspectRatio);
        const QRect target(area.x() + (area.width() - fitted.width()) / 2,
                           area.y() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
};

QWidget *divider(QWidget *parent, Qt::Orientation orientation = Qt::Horizontal)
{
    return new StudioDivider(orientation, parent);
}

QString editedAtText(const QDateTime &date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(", ")
        + locale.toString(local.time(), shortTimeFormat(locale));
}

// Puts the text into the editor only when it differs, so the cursor stays
// where the user left it.
void sync(QPlainTextEdit *editor, const QString &text)
{
    if (editor && writtenText(editor->document()) != text) {
        const QSignalBlocker blocker(editor);
        editor->setPlainText(text);
    }
}

} // namespace

FocusEditorView::FocusEditorView(LibraryQuery &library, NavigationState &navigation, const QUuid &cardID,
                                 QWidget *parent)
    : QDialog(parent)
    , m_model(new FocusEditorModel(library, navigation, cardID, this))
{
    setWindowTitle(QStringLiteral("Edit Card"));
    // Never more than a scaled-up screen can show with the title bar.
    setMinimumSize(sheetSizeWithinScreen(this, QSize(720, 560), 0.85));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages);

    auto *missing = new QWidget(m_pages);
    auto *missingLayout = new QVBoxLayout(missing);
    m_unavailable = new StudioEmptyState(QStringLiteral("Thought unavailable"), QStringLiteral("It may have been deleted."),
                                         QStringLiteral("doc.badge.ellipsis"), std::nullopt, std::nullopt, {}, missing);
    m_unavailable->setFixedSize(500, 360);
    missingLayout->addWidget(m_unavailable, 0, Qt::AlignCenter);
    m_pages->addWidget(missing);

    connect(m_model, &FocusEditorModel::changed, this, &FocusEditorView::refresh);
    connect(m_model, &FocusEditorModel::dismissRequested, this, &FocusEditorView::finish);
    refresh();
}

bool FocusEditorView::isShowingCard() const { return m_editor && m_pages->currentWidget() == m_editor; }

QWidget *FocusEditorView::makeEditor()
{
    const CanvasCard *card = m_model->card();
    auto *page = new QWidget(m_pages);
    auto *stack = new QVBoxLayout(page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(18, 18, 18, 18);
    header->setSpacing(12);
    m_symbol = new SymbolLabel(QString(), 17, SemanticColor::secondary, page);
    header->addWidget(m_symbol);
    m_title = new QLineEdit(page);
    m_title->setPlaceholderText(QStringLiteral("Title"));
    m_title->setAccessibleName(QStringLiteral("Title"));
    m_title->setFrame(false);
    m_title->setFont(TessalineTypography::systemFont(20, QFont::DemiBold));
    textInputDirection(m_title);
    connect(m_title, &QLineEdit::textEdited, m_model, &FocusEditorModel::setTitle);
    header->addWidget(m_title, 1);
    if (!card->isSnip()) {
        m_kind = new QComboBox(page);
        m_kind->setAccessibleName(QStringLiteral("Kind"));
        m_kind->setFixedWidth(150);
        for (ThoughtKind kind : allThoughtKinds())
            m_kind->addItem(SymbolIcon::icon(FocusEditorModel::symbolName(kind)), displayName(kind),
                            static_cast<int>(kind));
        connect(m_kind, &QComboBox::activated, this, [this](int index) {
            m_model->setThoughtKind(static_cast<ThoughtKind>(m_kind->itemData(index).toInt()));
        });
        header->addWidget(m_kind);
    }
    m_close = new QToolButton(page);
    m_close->setAutoRaise(true);
    m_close->setIcon(SymbolIcon::icon(QStringLiteral("xmark")));
    m_close->setToolTip(QStringLiteral("Close"));
    m_close->setAccessibleName(QStringLiteral("Close"));
    connect(m_close, &QToolButton::clicked, m_model, &FocusEditorModel::close);
    header->addWidget(m_close);
    stack->addLayout(header);
    stack->addWidget(divider(page));

    stack->addWidget(card->isSnip() ? makeSnipBody() : makeThoughtBody(), 1);
    stack->addWidget(divider(page));

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(14, 14, 14, 14);
    m_updated = new StudioText(QString(), TessalineTypography::caption(), SemanticColor::tertiary, page);
    footer->addWidget(m_updated);
    footer->addStretch(1);
    m_done = new TessalinePrimaryButton(QStringLiteral("Done"), QString(), page);
    m_done->setAutoDefault(false);
    connect(m_done, &QAbstractButton::clicked, m_model, &FocusEditorModel::done);
    footer->addWidget(m_done);
    stack->addLayout(footer);
    return page;
}

QWidget *FocusEditorView::makeSnipBody()
{
    const CanvasCard *card = m_model->card();
    auto *split = new QSplitter(Qt::Horizontal);
    // Only the shade until the picture is read.
    auto *picture = new SnipPicturePane(split);
    picture->setImage(m_model->picture());
    connect(m_model, &FocusEditorModel::pictureLoaded, picture,
            [this, picture] { picture->setImage(m_model->picture()); });
    split->addWidget(picture);

    auto *side = new QWidget(split);
    side->setMinimumWidth(280);
    auto *column = new QVBoxLayout(side);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);
    const QFont heading = TessalineTypography::systemFont(13, QFont::DemiBold);
    column->addWidget(new StudioText(QStringLiteral("Why it matters"), heading, SemanticColor::label, side));
    m_contextText = new QPlainTextEdit(side);
    m_contextText->setAccessibleName(QStringLiteral("Why it matters"));
    m_contextText->setMinimumHeight(100);
    textInputDirection(m_contextText);
    breakLinesOnShiftReturn(m_contextText);
    tabLeavesEditor(m_contextText);
    connect(m_contextText, &QPlainTextEdit::textChanged, this,
            [this] { m_model->setContextText(writtenText(m_contextText->document())); });
    column->addWidget(m_contextText, 1);
    if (!card->ocrText().isEmpty()) {
        column->addWidget(divider(side));
        column->addWidget(new StudioText(QStringLiteral("Recognized text"), heading, SemanticColor::label, side));
        auto *scroll = new QScrollArea(side);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_recognized = new QLabel(card->ocrText());
        m_recognized->setTextFormat(Qt::PlainText);
        m_recognized->setWordWrap(true);
        m_recognized->setAlignment(Qt::AlignLeading | Qt::AlignTop);
        m_recognized->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_recognized->setFont(TessalineTypography::systemFont(12, QFont::Normal));
        scroll->setWidget(m_recognized);
        column->addWidget(scroll, 1);
    }
    split->addWidget(side);
    split->setStretchFactor(0, 1);
    split->setSizes({380, 340});
    return split;
}

QWidget *FocusEditorView::makeThoughtBody()
{
    m_thoughtText = new QPlainTextEdit;
    m_thoughtText->setAccessibleName(QStringLiteral("Thought text"));
    m_thoughtText->setFont(TessalineTypography::systemFont(16, QFont::Normal));
    m_thoughtText->setFrameShape(QFrame::NoFrame);
    m_thoughtText->document()->setDocumentMargin(36);
    keepSemanticColors(m_thoughtText, {{QPalette::Base, {SemanticColor::textBackground}}});
    textInputDirection(m_thoughtText);
    breakLinesOnShiftReturn(m_thoughtText);
    tabLeavesEditor(m_thoughtText);
    connect(m_thoughtText, &QPlainTextEdit::textChanged, this,
            [this] { m_model->setMarkdownText(writtenText(m_thoughtText->document())); });
    return m_thoughtText;
}

void FocusEditorView::refresh()
{
    const CanvasCard *card = m_model->card();
    if (!card) {
        m_pages->setCurrentIndex(0);
        showAlertIfNeeded();
        return;
    }
    if (!m_editor) {
        m_editor = makeEditor();
        m_pages->addWidget(m_editor);
    }
    m_pages->setCurrentWidget(m_editor);

    const QString symbol = FocusEditorModel::symbolName(*card);
    if (symbol != m_symbolName) {
        m_symbolName = symbol;
        m_symbol->setSystemName(symbol);
        // Read out as the kind; the symbol's name is kept for whoever
        // needs to know which picture is up.
        m_symbol->setProperty("systemImage", symbol);
        m_symbol->setAccessibleName(card->isSnip() ? QStringLiteral("Snip") : displayName(card->thoughtKind()));
    }
    const QString title = card->title().value_or(QString());
    if (m_title->text() != title)
        setTextFromItsStart(m_title, title);
    if (m_kind) {
        const int index = m_kind->findData(static_cast<int>(card->thoughtKind()));
        if (m_kind->currentIndex() != index) {
            const QSignalBlocker blocker(m_kind);
            m_kind->setCurrentIndex(index);
        }
    }
    sync(m_thoughtText, card->markdownText());
    sync(m_contextText, card->contextText());
    m_updated->setText(editedAtText(card->updatedAt()));
    showAlertIfNeeded();
}

void FocusEditorView::showAlertIfNeeded()
{
    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t save"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void FocusEditorView::keyPressEvent(QKeyEvent *event)
{
    // Return is Done wherever the editors leave it (the text editors keep
    // it for new lines).
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isShowingCard()) {
        m_model->done();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FocusEditorView::reject()
{
    // Escape and the window's close button close the way the close button
    // does: no save, the edits stay in the card.
    if (m_finishing)
        return QDialog::reject();
    m_model->close();
}

void FocusEditorView::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    done(QDialog::Accepted);
}

} // namespace tessaline
