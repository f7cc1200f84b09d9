#include "notes/QuickThoughtView.h"

#include "notes/QuickThoughtModel.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/SemanticColors.h"
#include "design/SheetControls.h"
#include "design/StudioCompactButton.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "design/WrittenText.h"
#include "model/Board.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaline {

namespace {

constexpr int sheetWidth = 560;
constexpr int sheetHeight = 350;

// Takes in pasted plain text only when the model lets it: a paste of
// megabytes held the window for seconds before the note refused it.
class QuickNoteEditor : public QPlainTextEdit
{
public:
    QuickNoteEditor(QuickThoughtModel *model, QWidget *parent)
        : QPlainTextEdit(parent)
        , m_model(model)
    {
    }

protected:
    void insertFromMimeData(const QMimeData *source) override
    {
        if (!source || !source->hasText())
            return;
        const QTextCursor cursor = textCursor();
        if (m_model->acceptsPaste(source->text().size(), cursor.selectionEnd() - cursor.selectionStart()))
            QPlainTextEdit::insertFromMimeData(source);
    }

private:
    QuickThoughtModel *m_model;
};

} // namespace

QuickThoughtView::QuickThoughtView(LibraryQuery &library, NavigationState &navigation,
                                   std::optional<QUuid> preselectedBoardID, QWidget *parent)
    : SheetDialog(parent)
    , m_model(new QuickThoughtModel(library, navigation, preselectedBoardID, this))
{
    setWindowTitle(QStringLiteral("Quick Note"));
    setFixedSize(sheetWidth, sheetHeight);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(18);

    stack->addLayout(sheetTitleRow(QStringLiteral("Quick Note"), QStringLiteral("square.and.pencil"), this));

    m_editor = new QuickNoteEditor(m_model, this);
    m_editor->setAccessibleName(QStringLiteral("Quick Note"));
    m_editor->setPlaceholderText(QStringLiteral("Add a paragraph before it disappears…"));
    m_editor->setFont(TessalineTypography::systemFont(15, QFont::Normal));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->document()->setDocumentMargin(10);
    styleEditor();
    submitOnReturn(m_editor, [this] { m_model->submit(); });
    textInputDirection(m_editor);
    connect(m_editor, &QPlainTextEdit::textChanged, this,
            [this] { m_model->setNoteText(writtenText(m_editor->document())); });
    stack->addWidget(m_editor, 1);

    const SheetButtons buttons = addSheetButtons(stack, QStringLiteral("Add to Note"), this);
    m_cancel = buttons.cancel;
    m_add = buttons.primary;
    connect(m_cancel, &QAbstractButton::clicked, m_model, &QuickThoughtModel::cancel);
    connect(m_add, &QAbstractButton::clicked, m_model, &QuickThoughtModel::submit);
    auto *pickerLabel = new QLabel(QStringLiteral("Add to"), this);
    m_picker = new QComboBox(this);
    m_picker->setAccessibleName(QStringLiteral("Add to"));
    m_picker->setMaximumWidth(260);
    // A long note title is cut short in the picker, which takes the room
    // left beside the buttons, rather than squeezing Cancel and Add to Note.
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_picker->setMinimumContentsLength(10);
    m_picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    pickerLabel->setBuddy(m_picker);
    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        const QVariant id = m_picker->itemData(index);
        m_model->setBoardID(id.isValid() ? std::optional<QUuid>(id.toUuid()) : std::nullopt);
    });
    buttons.row->insertWidget(0, pickerLabel);
    // The spare room goes to the picker first, up to its own limit, and the
    // rest before the buttons: left to the stretch, the picker stayed at
    // its smallest and cut even the welcome note's title short.
    buttons.row->insertWidget(1, m_picker, 1);
    buttons.row->setStretch(2, 0);

    connect(m_model, &QuickThoughtModel::changed, this, &QuickThoughtView::refresh);
    connect(m_model, &QuickThoughtModel::notesChanged, this, &QuickThoughtView::fillPicker);
    connect(m_model, &QuickThoughtModel::editorFocusRequested, this, [this] { m_editor->setFocus(Qt::OtherFocusReason); });
    connect(m_model, &QuickThoughtModel::dismissRequested, this, &QuickThoughtView::finish);
    fillPicker();
    refresh();
}

// A style sheet holds the colour it was given: given again when the desktop
// turns light or dark, so the text never stands on the other appearance's
// fill.
void QuickThoughtView::styleEditor()
{
    m_editor->setStyleSheet(QStringLiteral("QPlainTextEdit { border-radius: 10px; background: %1; }")
                                .arg(semanticColor(SemanticColor::textBackground, palette()).name(QColor::HexArgb)));
}

void QuickThoughtView::changeEvent(QEvent *event)
{
    SheetDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_editor)
        styleEditor();
}

void QuickThoughtView::fillPicker()
{
    const QSignalBlocker blocker(m_picker);
    m_picker->clear();
    m_picker->addItem(QStringLiteral("Quick Captures"));
    for (const Board *note : m_model->availableNotes())
        m_picker->addItem(note->title(), note->id());
    refresh();
}

void QuickThoughtView::refresh()
{
    m_add->setEnabled(m_model->canSave());
    const std::optional<QUuid> chosen = m_model->boardID();
    // A chosen note that has since gone shows as Quick Captures, where the
    // paragraph would now go.
    const int index = std::max(0, chosen ? m_picker->findData(*chosen) : 0);
    if (m_picker->currentIndex() != index) {
        const QSignalBlocker blocker(m_picker);
        m_picker->setCurrentIndex(index);
    }

    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t save note"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void QuickThoughtView::firstShown()
{
    m_model->chooseDefaultTarget();
}

// Return anywhere in the sheet adds the paragraph (Shift+Return in the
// editor breaks the line); nothing happens while it is blank.
void QuickThoughtView::submit()
{
    m_model->submit();
}

void QuickThoughtView::cancel()
{
    m_model->cancel();
}

} // namespace tessaline
