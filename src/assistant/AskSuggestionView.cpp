#include "assistant/AskSuggestionView.h"

#include "assistant/AskSuggestionModel.h"
#include "assistant/IntelligenceService.h"
#include "assistant/SystemIntelligenceService.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/QuietCard.h"
#include "design/SemanticColors.h"
#include "design/SheetControls.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/StudioSpinner.h"
#include "design/StudioTag.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "design/WrittenText.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int sheetWidth = 610;
constexpr int sheetHeight = 480;

} // namespace

AskSuggestionView::AskSuggestionView(ModelContext &context, const QUuid &boardID, const QList<QUuid> &sourceCardIDs,
                                     std::unique_ptr<IntelligenceService> intelligence, QWidget *parent)
    : QDialog(parent)
    , m_model(new AskSuggestionModel(context, boardID, sourceCardIDs, std::move(intelligence), this))
{
    setWindowTitle(QStringLiteral("Think with these cards"));
    setFixedSize(sheetWidth, sheetHeight);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(18);

    QHBoxLayout *header = sheetTitleRow(QStringLiteral("Think with these cards"), QStringLiteral("sparkles"), this);
    m_badge = new StudioTag(QString(), QString(), true, this);
    header->addWidget(m_badge);
    stack->addLayout(header);

    auto *pickerRow = new QHBoxLayout;
    auto *pickerLabel = new QLabel(QStringLiteral("Prompt"), this);
    m_picker = new QComboBox(this);
    m_picker->setAccessibleName(QStringLiteral("Prompt"));
    pickerLabel->setBuddy(m_picker);
    for (ThinkingPrompt prompt : allThinkingPrompts())
        m_picker->addItem(SystemIntelligenceService::question(prompt), rawValue(prompt));
    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        if (const auto prompt = thinkingPromptFromRawValue(m_picker->itemData(index).toString()))
            m_model->setPrompt(*prompt);
    });
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(m_picker, 1);
    stack->addLayout(pickerRow);

    m_mainArea = new QStackedWidget(this);
    m_generatingPage = makeGeneratingPage();
    m_emptyState = new StudioEmptyState(QStringLiteral("Ask a useful question"), QString(), QStringLiteral("sparkles"),
                                        QStringLiteral("Generate reflection"), QStringLiteral("arrow.right"),
                                        [this] { m_model->generate(); }, m_mainArea);
    m_previewPage = makePreviewPage();
    m_mainArea->addWidget(m_emptyState);
    m_mainArea->addWidget(m_generatingPage);
    m_mainArea->addWidget(m_previewPage);
    stack->addWidget(m_mainArea, 1);

    stack->addWidget(new StudioDivider(Qt::Horizontal, this));

    auto *footer = new QHBoxLayout;
    // The note gives way to the buttons: it wraps rather than squeeze them.
    auto *sourcesNote = new StudioText(QStringLiteral("Sources remain attached to any thought you keep."),
                                       TessalineTypography::caption(), SemanticColor::secondary, this);
    sourcesNote->setWordWrap(true);
    sourcesNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    footer->addWidget(sourcesNote, 1);
    m_dismiss = new StudioCompactButton(QStringLiteral("Dismiss"), false, StudioControlProminence::standard, this);
    m_dismiss->setTracksHover(true);
    m_dismiss->setAutoDefault(false);
    connect(m_dismiss, &QAbstractButton::clicked, m_model, &AskSuggestionModel::dismiss);
    m_tryAgain = new StudioCompactButton(QStringLiteral("Try Again"), false, StudioControlProminence::standard, this);
    m_tryAgain->setTracksHover(true);
    m_tryAgain->setAutoDefault(false);
    connect(m_tryAgain, &QAbstractButton::clicked, m_model, &AskSuggestionModel::generate);
    m_keep = new TessalinePrimaryButton(QStringLiteral("Keep as Thought"), QString(), this);
    m_keep->setAutoDefault(false);
    connect(m_keep, &QAbstractButton::clicked, m_model, &AskSuggestionModel::keep);
    footer->addWidget(m_dismiss);
    footer->addWidget(m_tryAgain);
    footer->addWidget(m_keep);
    stack->addLayout(footer);

    connect(m_model, &AskSuggestionModel::changed, this, &AskSuggestionView::refresh);
    connect(m_model, &AskSuggestionModel::editableTextReplaced, this, [this] {
        {
            const QSignalBlocker blocker(m_editor);
            m_editor->setPlainText(m_model->editableText());
        }
        // The reflection is there to be edited.
        m_editor->setFocus(Qt::OtherFocusReason);
    });
    connect(m_model, &AskSuggestionModel::dismissRequested, this, &AskSuggestionView::finish);
    refresh();
}

QMessageBox *AskSuggestionView::alert() const
{
    return m_alert;
}

QWidget *AskSuggestionView::makeGeneratingPage()
{
    auto *page = new QWidget(m_mainArea);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(12);
    column->addStretch(1);
    column->addWidget(new StudioSpinner(page), 0, Qt::AlignHCenter);
    column->addWidget(new StudioText(QStringLiteral("Looking only at the selected cards\u2026"),
                                     TessalineTypography::body(), SemanticColor::secondary, page),
                      0, Qt::AlignHCenter);
    column->addStretch(1);
    return page;
}

QWidget *AskSuggestionView::makePreviewPage()
{
    auto *card = new QuietCard(QuietCardTone::suggestion, false, QuietCardElevation::flat, 16, m_mainArea);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto *row = new QHBoxLayout;
    row->addWidget(new StudioTag(QStringLiteral("Preview"), QStringLiteral("sparkles"), true, content));
    row->addStretch(1);
    row->addWidget(new StudioText(QStringLiteral("Nothing is saved until you keep it"),
                                  TessalineTypography::systemFont(11, QFont::Medium), SemanticColor::tertiary, content));
    column->addLayout(row);

    m_editor = new QPlainTextEdit(content);
    m_editor->setAccessibleName(QStringLiteral("Reflection"));
    m_editor->setFont(TessalineTypography::systemFont(13, QFont::Normal));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setMinimumHeight(150);
    m_editor->viewport()->setAutoFillBackground(false);
    m_editor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    submitOnReturn(m_editor, [this] {
        if (m_model->canKeep())
            m_model->keep();
    });
    textInputDirection(m_editor);
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] { m_model->setEditableText(writtenText(m_editor->document())); });
    column->addWidget(m_editor, 1);
    m_cutNotice = new StudioText(QStringLiteral("This answer is long: only its start is shown, "
                                                "and only that is kept as a thought."),
                                 TessalineTypography::systemFont(11, QFont::Medium), SemanticColor::secondary, content);
    m_cutNotice->setWordWrap(true);
    m_cutNotice->setVisible(false);
    column->addWidget(m_cutNotice);

    card->setContent(content);
    return card;
}

void AskSuggestionView::refresh()
{
    m_badge->setTitle(m_model->badgeTitle());
    m_badge->setSystemImage(m_model->badgeSystemImage());

    const int promptIndex = m_picker->findData(rawValue(m_model->prompt()));
    if (m_picker->currentIndex() != promptIndex) {
        const QSignalBlocker blocker(m_picker);
        m_picker->setCurrentIndex(promptIndex);
    }

    switch (m_model->stage()) {
    case AskSuggestionModel::Stage::empty:
        m_emptyState->setMessage(m_model->emptyStateMessage());
        m_mainArea->setCurrentWidget(m_emptyState);
        break;
    case AskSuggestionModel::Stage::generating: m_mainArea->setCurrentWidget(m_generatingPage); break;
    case AskSuggestionModel::Stage::preview: m_mainArea->setCurrentWidget(m_previewPage); break;
    }

    m_cutNotice->setVisible(m_model->isTextCut());
    m_tryAgain->setVisible(m_model->hasSuggestion());
    m_keep->setVisible(m_model->hasSuggestion());
    m_keep->setEnabled(m_model->canKeep());

    syncErrorAlert(m_alert, this, QStringLiteral("Thinking assistant"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void AskSuggestionView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_model->appear();
}

void AskSuggestionView::keyPressEvent(QKeyEvent *event)
{
    // Return is the default action: keep, when there is something to keep.
    if (isReturnKey(event)) {
        if (m_model->canKeep())
            m_model->keep();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AskSuggestionView::reject()
{
    // Escape and the window's close button dismiss the way Dismiss does.
    if (m_finishing)
        return QDialog::reject();
    m_model->dismiss();
}

void AskSuggestionView::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    done(QDialog::Accepted);
}

} // namespace tessaline
