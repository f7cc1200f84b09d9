#include "notes/NewBoardView.h"

#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/SemanticColors.h"
#include "design/SheetControls.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "notes/NewBoardModel.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int sheetWidth = 520;
constexpr int sheetHeight = 330;

// A field's label, with its hint beside it in a fainter tone.
QLayout *fieldLabel(const QString &label, const QString &hint, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    const QFont font = TessalineTypography::systemFont(11, QFont::Medium);
    row->addWidget(new StudioText(label, font, SemanticColor::secondary, parent));
    if (!hint.isEmpty())
        row->addWidget(new StudioText(hint, font, SemanticColor::tertiary, parent));
    row->addStretch(1);
    return row;
}

} // namespace

NewBoardView::NewBoardView(ModelContext &context, NavigationState &navigation, QWidget *parent)
    : SheetDialog(parent)
    , m_model(new NewBoardModel(context, navigation, this))
{
    setWindowTitle(QStringLiteral("Start a board"));
    setFixedSize(sheetWidth, sheetHeight);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(18);

    auto *header = new QVBoxLayout;
    header->setSpacing(6);
    header->addWidget(new StudioText(QStringLiteral("Start a board"),
                                     TessalineTypography::systemFont(22, QFont::DemiBold), SemanticColor::label, this));
    auto *subtitle = new StudioText(QStringLiteral("Give the idea a name and a question worth returning to."),
                                    TessalineTypography::body(), SemanticColor::secondary, this);
    subtitle->setWordWrap(true);
    header->addWidget(subtitle);
    stack->addLayout(header);

    auto *fields = new QVBoxLayout;
    fields->setSpacing(14);
    auto group = [this, fields](const QString &label, const QString &hint, const QString &prompt) {
        auto *box = new QVBoxLayout;
        box->setSpacing(6);
        box->addLayout(fieldLabel(label, hint, this));
        auto *field = new QLineEdit(this);
        field->setPlaceholderText(prompt);
        field->setAccessibleName(label);
        textInputDirection(field);
        box->addWidget(field);
        fields->addLayout(box);
        return field;
    };
    m_title = group(QStringLiteral("Board name"), QString(), QStringLiteral("Name this board"));
    m_focusQuestion = group(QStringLiteral("Focus question"), QStringLiteral("Optional"),
                            QStringLiteral("What are you trying to understand, create, or decide?"));
    connect(m_title, &QLineEdit::textChanged, m_model, &NewBoardModel::setTitle);
    connect(m_focusQuestion, &QLineEdit::textChanged, m_model, &NewBoardModel::setFocusQuestion);
    stack->addLayout(fields);
    stack->addStretch(1);

    const SheetButtons buttons = addSheetButtons(stack, QStringLiteral("Create Board"), this);
    m_cancel = buttons.cancel;
    m_create = buttons.primary;
    connect(m_cancel, &QAbstractButton::clicked, m_model, &NewBoardModel::cancel);
    connect(m_create, &QAbstractButton::clicked, m_model, &NewBoardModel::submit);

    connect(m_model, &NewBoardModel::changed, this, &NewBoardView::refresh);
    connect(m_model, &NewBoardModel::dismissRequested, this, &NewBoardView::finish);
    refresh();
}

void NewBoardView::refresh()
{
    m_create->setEnabled(m_model->canCreate());

    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t create board"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void NewBoardView::firstShown()
{
    m_title->setFocus(Qt::OtherFocusReason);
}

// Return in either field creates the note; nothing happens while the name
// is blank.
void NewBoardView::submit()
{
    m_model->submit();
}

void NewBoardView::cancel()
{
    m_model->cancel();
}

} // namespace tessaline
