#include "imaging/AnnotationToolbar.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/StudioActionButton.h"
#include "design/StudioDivider.h"
#include "design/StudioIconButton.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "imaging/AnnotationEditorModel.h"

#include <QColorDialog>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace tessaline {

namespace {

constexpr int groupSpacing = 10;
constexpr int minimumGap = 8;

QString capitalized(const QString &text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

QString toolSymbol(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::select: return QStringLiteral("arrow.up.left");
    case AnnotationTool::arrow: return QStringLiteral("arrow.up.right");
    case AnnotationTool::rectangle: return QStringLiteral("rectangle");
    case AnnotationTool::freehand: return QStringLiteral("pencil.tip");
    case AnnotationTool::highlight: return QStringLiteral("highlighter");
    case AnnotationTool::text: return QStringLiteral("textformat");
    case AnnotationTool::pixelate: return QStringLiteral("square.grid.3x3.fill");
    }
    return {};
}

QWidget *divider(QWidget *parent)
{
    auto *line = new StudioDivider(Qt::Vertical, parent);
    line->setFixedHeight(24);
    return line;
}

QString selectedValue(bool selected)
{
    return selected ? QStringLiteral("Selected") : QStringLiteral("Not selected");
}

// The tool buttons sit on a faint rounded tray.
class ToolTray : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(semanticColor(SemanticColor::primary, palette()), 0.045));
        painter.drawRoundedRect(QRectF(rect()), 9, 9);
    }
};

} // namespace

// A colour dot of the swatch's own alpha with a ring when it is the colour
// in use.
class AnnotationToolbar::SwatchButton : public QAbstractButton
{
public:
    SwatchButton(const AnnotationColor &color, QWidget *parent) : QAbstractButton(parent), m_color(color)
    {
        setFixedSize(24, 24);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(AnnotationEditorModel::swatchName(color) + QStringLiteral(" annotation color"));
    }
    void setCurrent(bool current)
    {
        if (current == m_current)
            return;
        m_current = current;
        setAccessibleDescription(selectedValue(current));
        update();
    }
    bool isCurrent() const { return m_current; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF dot(4, 4, 16, 16);
        const QColor primary = semanticColor(SemanticColor::primary, palette());
        painter.setBrush(QColor::fromRgbF(float(m_color.red), float(m_color.green), float(m_color.blue),
                                          float(m_color.alpha)));
        QPen edge(withOpacity(primary, 0.22));
        edge.setWidthF(1);
        painter.setPen(edge);
        painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
        if (m_current) {
            QPen ring(primary);
            ring.setWidthF(2);
            painter.setPen(ring);
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(dot.adjusted(-2, -2, 2, 2));
        }
    }

private:
    AnnotationColor m_color;
    bool m_current = false;
};

AnnotationToolbar::AnnotationToolbar(AnnotationEditorModel &model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    m_rows = new QVBoxLayout(this);
    m_rows->setContentsMargins(12, 10, 12, 10);
    m_rows->setSpacing(8);
    m_firstRow = new QHBoxLayout;
    m_secondRow = new QHBoxLayout;
    m_firstRow->setSpacing(groupSpacing);
    m_secondRow->setSpacing(groupSpacing);
    m_rows->addLayout(m_firstRow);
    m_rows->addLayout(m_secondRow);

    m_tools = buildTools();
    m_style = buildStyleControls();
    m_itemActions = buildItemActions();
    m_historyDivider = divider(this);
    m_history = buildHistory();

    connect(&m_model, &AnnotationEditorModel::stateChanged, this, &AnnotationToolbar::refresh);
    refresh();
    m_singleRow = false; // forces the first arrangement
    arrange();
}

AnnotationToolbar::~AnnotationToolbar()
{
    // The popover goes first, while the toolbar is whole, and without
    // reporting its own closing back to the model.
    if (m_colorPopover) {
        m_colorPopover->removeEventFilter(this);
        delete m_colorPopover;
    }
}

QWidget *AnnotationToolbar::buildTools()
{
    auto *tray = new ToolTray(this);
    auto *layout = new QHBoxLayout(tray);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    for (const AnnotationTool tool : allAnnotationTools()) {
        auto *button = new StudioIconButton(capitalized(rawValue(tool)), toolSymbol(tool), false,
                                            StudioControlProminence::standard,
                                            [this, tool] { m_model.selectTool(tool); }, tray);
        m_toolButtons.insert(tool, button);
        layout->addWidget(button);
    }
    return tray;
}

QWidget *AnnotationToolbar::buildStyleControls()
{
    auto *holder = new QWidget(this);
    auto *holderLayout = new QHBoxLayout(holder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    holderLayout->setSpacing(groupSpacing);

    m_styleControls = new QWidget(holder);
    auto *style = new QHBoxLayout(m_styleControls);
    style->setContentsMargins(0, 0, 0, 0);
    style->setSpacing(groupSpacing);
    style->addWidget(divider(m_styleControls));

    auto *colors = new QHBoxLayout;
    colors->setSpacing(7);
    colors->addWidget(new StudioText(QStringLiteral("Color"), TessalineTypography::caption(), SemanticColor::secondary,
                                     m_styleControls));
    for (const AnnotationColor &swatch : AnnotationEditorModel::swatches()) {
        auto *button = new SwatchButton(swatch, m_styleControls);
        connect(button, &QAbstractButton::clicked, this, [this, swatch] { m_model.applyColor(swatch); });
        m_swatchButtons.append(button);
        colors->addWidget(button);
    }
    m_paletteButton = new StudioIconButton(QStringLiteral("Choose a custom color"), QStringLiteral("paintpalette"),
                                           false, StudioControlProminence::standard,
                                           [this] { m_model.setShowsCustomColorPicker(!m_model.showsCustomColorPicker()); },
                                           m_styleControls);
    m_paletteButton->setAccessibleName(QStringLiteral("Choose a custom annotation color"));
    colors->addWidget(m_paletteButton);
    style->addLayout(colors);
    style->addWidget(divider(m_styleControls));

    auto *width = new QHBoxLayout;
    width->setSpacing(7);
    m_widthSymbol = new SymbolLabel(QString(), 16, SemanticColor::secondary, m_styleControls);
    m_widthSymbol->setFixedSize(18, 18);
    m_widthSlider = new QSlider(Qt::Horizontal, m_styleControls);
    m_widthSlider->setRange(2, 10);
    m_widthSlider->setSingleStep(1);
    m_widthSlider->setPageStep(1);
    m_widthSlider->setFixedWidth(88);
    m_widthValue = new QLabel(m_styleControls);
    QFont valueFont = TessalineTypography::caption();
    m_widthValue->setFont(valueFont);
    m_widthValue->setFixedWidth(16);
    m_widthValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_widthValue->setTextFormat(Qt::PlainText);
    width->addWidget(m_widthSymbol);
    width->addWidget(m_widthSlider);
    width->addWidget(m_widthValue);
    style->addLayout(width);

    connect(m_widthSlider, &QSlider::sliderPressed, this, [this] { m_model.lineWidthEditingChanged(true); });
    connect(m_widthSlider, &QSlider::sliderReleased, this, [this] { m_model.lineWidthEditingChanged(false); });
    connect(m_widthSlider, &QSlider::valueChanged, this, [this](int value) {
        if (m_refreshing)
            return;
        // A step from the keyboard or the wheel is a drag of its own.
        const bool dragging = m_widthSlider->isSliderDown();
        if (!dragging)
            m_model.lineWidthEditingChanged(true);
        m_model.setDisplayedLineWidth(value);
        if (!dragging)
            m_model.lineWidthEditingChanged(false);
    });

    m_pixelateHint = new StudioText(QStringLiteral("Drag over sensitive content"), TessalineTypography::caption(),
                                    SemanticColor::secondary, holder);
    holderLayout->addWidget(m_styleControls);
    holderLayout->addWidget(m_pixelateHint);
    return holder;
}

QWidget *AnnotationToolbar::buildItemActions()
{
    auto *actions = new QWidget(this);
    auto *layout = new QHBoxLayout(actions);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_editText = new StudioActionButton(QStringLiteral("Edit Text"), QStringLiteral("character.cursor.ibeam"), false,
                                        StudioControlProminence::standard, [this] { m_model.editSelectedText(); },
                                        actions);
    m_editText->setToolTip(QStringLiteral("Edit selected text"));
    m_delete = new StudioIconButton(QStringLiteral("Delete selected annotation"), QStringLiteral("trash"), false,
                                    StudioControlProminence::destructive, [this] { m_model.deleteSelectedItem(); },
                                    actions);
    layout->addWidget(m_editText);
    layout->addWidget(m_delete);
    return actions;
}

QWidget *AnnotationToolbar::buildHistory()
{
    auto *history = new QWidget(this);
    auto *layout = new QHBoxLayout(history);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_undo = new StudioIconButton(QStringLiteral("Undo"), QStringLiteral("arrow.uturn.backward"), false,
                                  StudioControlProminence::standard, [this] { m_model.undo(); }, history);
    m_redo = new StudioIconButton(QStringLiteral("Redo"), QStringLiteral("arrow.uturn.forward"), false,
                                  StudioControlProminence::standard, [this] { m_model.redo(); }, history);
    layout->addWidget(m_undo);
    layout->addWidget(m_redo);

    // The shortcuts belong to the buttons: nothing happens while they are off.
    auto *undoKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Z")), this);
    connect(undoKey, &QShortcut::activated, this, [this] {
        if (m_undo->isEnabled())
            m_undo->click();
    });
    auto *redoKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")), this);
    connect(redoKey, &QShortcut::activated, this, [this] {
        if (m_redo->isEnabled())
            m_redo->click();
    });
    return history;
}

void AnnotationToolbar::refresh()
{
    m_refreshing = true;
    const bool editing = m_model.isTextEditing();
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it) {
        const bool current = it.key() == m_model.tool();
        it.value()->setSelected(current);
        it.value()->setAccessibleDescription(selectedValue(current));
        it.value()->setEnabled(!editing);
    }

    const bool showsStyle = m_model.showsStyleControls();
    m_styleControls->setVisible(showsStyle);
    m_pixelateHint->setVisible(m_model.showsPixelateHint());
    for (int i = 0; i < m_swatchButtons.size(); ++i) {
        static_cast<SwatchButton *>(m_swatchButtons[i])
            ->setCurrent(AnnotationEditorModel::matchesSwatch(AnnotationEditorModel::swatches()[i], m_model.color()));
    }

    const bool textSizing = m_model.isTextSizing();
    const QString symbol = textSizing ? QStringLiteral("textformat.size") : QStringLiteral("lineweight");
    if (symbol != m_widthSymbolName) {
        m_widthSymbolName = symbol;
        m_widthSymbol->setSystemName(symbol);
    }
    m_widthSlider->setToolTip(textSizing ? QStringLiteral("Text size") : QStringLiteral("Stroke width"));
    const double displayed = m_model.displayedLineWidth();
    if (!m_widthSlider->isSliderDown() && std::isfinite(displayed))
        m_widthSlider->setValue(int(std::clamp(std::round(displayed), 2.0, 10.0)));
    // A width read from a damaged document may be anything; show a dash
    // rather than a meaningless number.
    m_widthValue->setText(std::isfinite(displayed) && std::abs(displayed) < 1000
                              ? QString::number(int(std::trunc(displayed)))
                              : QStringLiteral("–"));

    const std::optional<AnnotationItem> selected = m_model.selectedItem();
    m_itemActions->setVisible(selected.has_value());
    m_editText->setVisible(selected && selected->tool == AnnotationTool::text);
    m_editText->setEnabled(!editing);
    m_delete->setEnabled(!editing);
    m_undo->setEnabled(m_model.canUndo());
    m_redo->setEnabled(m_model.canRedo());

    showCustomColorPopover(m_model.showsCustomColorPicker());
    m_refreshing = false;
    arrange();
}

int AnnotationToolbar::singleRowWidth() const
{
    int width = 0;
    int groups = 0;
    // Counted as they would stand on one row, whatever the current layout
    // hides, so the choice does not flip back and forth at the boundary.
    for (QWidget *group : {m_tools, m_style, m_itemActions, m_historyDivider, m_history}) {
        if (group == m_itemActions && !m_model.selectedItem())
            continue;
        width += group->sizeHint().width();
        ++groups;
    }
    const QMargins margins = m_rows->contentsMargins();
    return width + groupSpacing * std::max(0, groups - 1) + margins.left() + margins.right();
}

void AnnotationToolbar::arrange()
{
    const bool singleRow = singleRowWidth() <= width();
    if (singleRow == m_singleRow && m_firstRow->count() > 0)
        return;
    m_singleRow = singleRow;
    for (QHBoxLayout *row : {m_firstRow, m_secondRow}) {
        // Only the layout slots go; the widgets stay with the toolbar.
        while (QLayoutItem *item = row->takeAt(0))
            delete item;
    }
    if (singleRow) {
        m_firstRow->addWidget(m_tools);
        m_firstRow->addWidget(m_style);
        m_firstRow->addWidget(m_itemActions);
        m_firstRow->addWidget(m_historyDivider);
        m_firstRow->addWidget(m_history);
        m_firstRow->addStretch(1);
        m_historyDivider->show();
    } else {
        m_firstRow->addWidget(m_tools);
        m_firstRow->addSpacing(minimumGap);
        m_firstRow->addStretch(1);
        m_firstRow->addWidget(m_history);
        m_secondRow->addWidget(m_style);
        m_secondRow->addSpacing(minimumGap);
        m_secondRow->addStretch(1);
        m_secondRow->addWidget(m_itemActions);
        m_historyDivider->hide();
    }
}

void AnnotationToolbar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

bool AnnotationToolbar::eventFilter(QObject *watched, QEvent *event)
{
    // The popover closes itself on a click elsewhere; the model hears of it.
    if (watched == m_colorPopover && event->type() == QEvent::Hide)
        m_model.setShowsCustomColorPicker(false);
    return QWidget::eventFilter(watched, event);
}

void AnnotationToolbar::showCustomColorPopover(bool shown)
{
    if (!shown) {
        if (m_colorPopover && m_colorPopover->isVisible())
            m_colorPopover->hide();
        return;
    }
    if (!m_colorPopover) {
        m_colorPopover = new QWidget(this, Qt::Popup);
        auto *layout = new QVBoxLayout(m_colorPopover);
        layout->setContentsMargins(14, 14, 14, 14);
        layout->setSpacing(10);
        layout->addWidget(new StudioText(QStringLiteral("Custom Color"), TessalineTypography::headline(),
                                         SemanticColor::label, m_colorPopover));
        auto *picker = new QColorDialog(m_colorPopover);
        picker->setObjectName(QStringLiteral("annotationColorPicker"));
        picker->setWindowFlags(Qt::Widget);
        picker->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
        picker->setAccessibleName(QStringLiteral("Annotation color"));
        layout->addWidget(picker);
        connect(picker, &QColorDialog::currentColorChanged, this, [this](const QColor &chosen) {
            const QColor rgb = chosen.toRgb();
            if (!rgb.isValid())
                return;
            m_model.applyColor({rgb.redF(), rgb.greenF(), rgb.blueF(), 1.0});
        });
        // Escape or Return in the picker ends it as the dialog it is, which
        // hid it and left the popover an empty box from then on: they close
        // the popover instead, with the picker ready for the next time.
        connect(picker, &QDialog::finished, m_colorPopover, [popover = m_colorPopover, picker] {
            picker->show();
            popover->hide();
        });
        m_colorPopover->installEventFilter(this);
    }
    if (m_colorPopover->isVisible())
        return;
    auto *picker = m_colorPopover->findChild<QColorDialog *>();
    const AnnotationColor color = m_model.color();
    {
        const QSignalBlocker blocker(picker);
        picker->setCurrentColor(QColor::fromRgbF(float(color.red), float(color.green), float(color.blue)));
    }
    m_colorPopover->adjustSize();
    const QPoint below = m_paletteButton->mapToGlobal(QPoint(m_paletteButton->width() / 2, m_paletteButton->height()));
    m_colorPopover->move(below.x() - m_colorPopover->width() / 2, below.y() + 4);
    m_colorPopover->show();
}

} // namespace tessaline
