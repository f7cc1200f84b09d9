#include "notes/NewBoardView.h"

#include "notes/NewBoardModel.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/SemanticColors.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
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
    : QDialog(parent)
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

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    stack->addWidget(divider);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, this);
    m_cancel->setTracksHover(true);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QAbstractButton::clicked, m_model, &NewBoardModel::cancel);
    m_create = new TessalinePrimaryButton(QStringLiteral("Create Board"), QString(), this);
    m_create->setAutoDefault(false);
    connect(m_create, &QAbstractButton::clicked, m_model, &NewBoardModel::submit);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_create);
    stack->addLayout(buttons);

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

void NewBoardView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_hasAppeared) {
        m_hasAppeared = true;
        m_title->setFocus(Qt::OtherFocusReason);
    }
}

void NewBoardView::keyPressEvent(QKeyEvent *event)
{
    // Return in either field is the default action; it does nothing while
    // the name is blank.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_model->submit();
        return;
    }
    QDialog::keyPressEvent(event);
}

void NewBoardView::reject()
{
    // Escape and the window's close button cancel the way Cancel does.
    if (m_finishing)
        return QDialog::reject();
    m_model->cancel();
}

void NewBoardView::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    done(QDialog::Accepted);
}

} // namespace tessaline
