#include "canvas/ConnectionEditorView.h"

#include "canvas/ConnectionEditorModel.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/QuietSurfaces.h"
#include "design/SemanticColors.h"
#include "design/SheetControls.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>

namespace tessaline {

namespace {

// A card's title on the quiet card surface of its kind, in two lines at
// most whatever the title's length, the second ending in an ellipsis when
// it runs on.
class CardChip : public StudioText
{
public:
    explicit CardChip(QWidget *parent)
        : StudioText(QString(), TessalineTypography::systemFont(14, QFont::DemiBold), SemanticColor::label, parent)
    {
        setContentsMargins(10, 10, 10, 10);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setMaximumLines(2);
    }

    void setCard(const QString &title, QuietCardTone tone)
    {
        setText(title);
        m_tone = tone;
        update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QuietCardSurface surface{m_tone, false, 0, QuietCardElevation::flat, 12};
        paintQuietCard(&painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), surface, palette(),
                       DesignEnvironment::current().increasedContrast);
        painter.end();
        StudioText::paintEvent(event);
    }

private:
    QuietCardTone m_tone = QuietCardTone::thought;
};

} // namespace

ConnectionEditorView::ConnectionEditorView(ModelContext &context, const QUuid &sourceCardID,
                                           const QUuid &destinationCardID, QWidget *parent)
    : QDialog(parent)
    , m_model(new ConnectionEditorModel(context, sourceCardID, destinationCardID, {}, this))
{
    setWindowTitle(ConnectionEditorModel::title());
    setFixedSize(460, 280);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(18);

    stack->addLayout(sheetTitleRow(ConnectionEditorModel::title(),
                                   QStringLiteral("point.topleft.down.to.point.bottomright.curvepath"), this));

    auto *direction = new QHBoxLayout;
    direction->setSpacing(10);
    m_sourceChip = new CardChip(this);
    m_destinationChip = new CardChip(this);
    auto *arrow = new SymbolLabel(QStringLiteral("arrow.right"), 14, SemanticColor::tertiary, this);
    direction->addWidget(m_sourceChip, 1);
    direction->addWidget(arrow);
    direction->addWidget(m_destinationChip, 1);
    stack->addLayout(direction);

    m_label = new QLineEdit(this);
    m_label->setPlaceholderText(ConnectionEditorModel::labelPlaceholder());
    m_label->setAccessibleName(ConnectionEditorModel::labelPlaceholder());
    m_label->setAccessibleDescription(ConnectionEditorModel::labelHint());
    textInputDirection(m_label);
    connect(m_label, &QLineEdit::textChanged, m_model, &ConnectionEditorModel::setLabel);
    stack->addWidget(m_label);

    auto *help = new StudioText(ConnectionEditorModel::helpText(), TessalineTypography::systemFont(11, QFont::Normal),
                                SemanticColor::secondary, this);
    help->setWordWrap(true);
    stack->addWidget(help);

    const SheetButtons buttons = addSheetButtons(stack, QStringLiteral("Connect"), this);
    m_connect = buttons.primary;
    connect(buttons.cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(m_connect, &QAbstractButton::clicked, this, &ConnectionEditorView::connectCards);

    connect(m_model, &ConnectionEditorModel::cardsChanged, this, &ConnectionEditorView::refresh);
    connect(m_model, &ConnectionEditorModel::errorMessageChanged, this, &ConnectionEditorView::refresh);
    refresh();
}

void ConnectionEditorView::refresh()
{
    static_cast<CardChip *>(m_sourceChip)
        ->setCard(m_model->sourceChipText(), ConnectionEditorModel::chipTone(m_model->sourceCard()));
    static_cast<CardChip *>(m_destinationChip)
        ->setCard(m_model->destinationChipText(), ConnectionEditorModel::chipTone(m_model->destinationCard()));
    m_connect->setEnabled(m_model->canConnect());
    syncErrorAlert(m_alert, this, ConnectionEditorModel::alertTitle(), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

void ConnectionEditorView::connectCards()
{
    if (m_model->connectCards())
        accept();
}

void ConnectionEditorView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_label->setFocus(Qt::OtherFocusReason);
    refresh();
}

void ConnectionEditorView::keyPressEvent(QKeyEvent *event)
{
    // Return is the default action, and only while Connect is enabled.
    if (isReturnKey(event)) {
        if (m_connect->isEnabled())
            connectCards();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tessaline
