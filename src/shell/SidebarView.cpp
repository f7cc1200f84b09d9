#include "shell/SidebarView.h"

#include "runtime/NavigationState.h"
#include "shell/SidebarModel.h"
#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/GuidedTourHighlight.h"
#include "design/KeyboardFocusRing.h"
#include "design/RowToolTip.h"
#include "design/SemanticColors.h"
#include "design/TextInputDirection.h"
#include "platform/SymbolIcon.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>

namespace tessaline {

namespace {
constexpr int rowHeight = 28;
constexpr int sectionHeight = 26;
constexpr int emptySectionHeight = 10;
constexpr int horizontalPadding = 8;
constexpr int symbolSize = 16;
QString badgeText(int value) { return value < 1 ? QStringLiteral("0") : QString::number(value); }

QFont badgeFont() { return TessalineTypography::systemFont(10, QFont::Medium); }

// The badge keeps its room at zero so the row does not change shape.
QRect badgeRect(const QRect &area, int value)
{
    const QFontMetrics metrics(badgeFont());
    const int width = metrics.horizontalAdvance(badgeText(value)) + 10;
    const int height = metrics.height() + 4;
    const int right = area.right() - horizontalPadding;
    return QRect(right - width + 1, area.center().y() - height / 2, width, height);
}

} // namespace

SidebarRowDelegate::SidebarRowDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
    , m_focusRing(new KeyboardFocusRing(view))
{
}

QSize SidebarRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (index.data(SidebarModel::IsSectionRole).toBool())
        return QSize(option.rect.width(), index.data(Qt::DisplayRole).toString().isEmpty() ? emptySectionHeight : sectionHeight);
    return QSize(option.rect.width(), rowHeight + (index.row() == 0 ? SidebarView::topRingRoom : 0));
}

void SidebarRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = option.palette;
    const bool contrast = DesignEnvironment::current().increasedContrast;
    const QRect area = SidebarView::rowShape(option.rect, index.row());
    const QString title = index.data(Qt::DisplayRole).toString();

    if (index.data(SidebarModel::IsSectionRole).toBool()) {
        if (!title.isEmpty()) {
            painter->setFont(TessalineTypography::caption());
            painter->setPen(semanticColor(SemanticColor::secondary,
                                          readablePalette(palette, option.state & QStyle::State_Active), contrast));
            painter->drawText(area.adjusted(horizontalPadding, 0, -horizontalPadding, -2),
                              Qt::AlignLeft | Qt::AlignBottom, title);
        }
        painter->restore();
        return;
    }

    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        const QColor fill = selectionFill(palette, option.state & QStyle::State_Active ? QPalette::Active
                                                                                        : QPalette::Inactive);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(area, 6, 6);
    } else if (option.state & QStyle::State_MouseOver) {
        QColor hover = palette.color(QPalette::WindowText);
        hover.setAlphaF(0.06);
        painter->setPen(Qt::NoPen);
        painter->setBrush(hover);
        painter->drawRoundedRect(area, 6, 6);
    }
    // The selection says which screen shows, not that the keys move it.
    m_focusRing->paint(painter, option, area, 6);
    const QColor textColor = selected ? palette.color(QPalette::HighlightedText)
                                      : semanticColor(SemanticColor::primary, palette, contrast);

    int x = area.left() + horizontalPadding;
    const QString image = index.data(SidebarModel::SystemImageRole).toString();
    const QPixmap symbol = SymbolIcon::tintedPixmap(image, QSize(symbolSize, symbolSize), painter->device()->devicePixelRatioF(),
                                                    selected ? textColor : semanticColor(SemanticColor::secondary, palette, contrast));
    painter->drawPixmap(QRect(x, area.center().y() - symbolSize / 2, symbolSize, symbolSize), symbol);
    x += symbolSize + 8;

    const QVariant count = index.data(SidebarModel::CountRole);
    if (count.isValid()) {
        const int value = count.toInt();
        const QString text = badgeText(value);
        const QFont font = badgeFont();
        const QRect badge = badgeRect(area, value);
        if (value >= 1) {
            QColor fill = semanticColor(SemanticColor::secondary, palette, contrast);
            fill.setAlphaF(0.1);
            painter->setPen(Qt::NoPen);
            painter->setBrush(fill);
            painter->drawRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
            painter->setFont(font);
            painter->setPen(selected ? textColor : semanticColor(SemanticColor::secondary, palette, contrast));
            painter->drawText(badge, Qt::AlignCenter, text);
        }
    }

    painter->setFont(TessalineTypography::body());
    painter->setPen(textColor);
    const QRect titleRect = SidebarRowDelegate::titleRect(area, count);
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                      elidedInItsOwnDirection(title, QFontMetricsF(painter->font()), titleRect.width()));

    painter->restore();
}

QRect SidebarRowDelegate::titleRect(const QRect &area, const QVariant &count)
{
    const int left = area.left() + horizontalPadding + symbolSize + 8;
    const int right = count.isValid() ? badgeRect(area, count.toInt()).left() - 4 : area.right() - horizontalPadding;
    return QRect(left, area.top(), std::max(0, right - left), area.height());
}

QString SidebarRowDelegate::titleToolTip(const QString &title, const QRect &area, const QVariant &count)
{
    return QFontMetricsF(TessalineTypography::body()).horizontalAdvance(title) > titleRect(area, count).width() ? title
                                                                                                            : QString();
}

bool SidebarRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid() || index.data(SidebarModel::IsSectionRole).toBool())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    return showRowToolTip(event, view, index,
                          titleToolTip(index.data(Qt::DisplayRole).toString(),
                                       SidebarView::rowShape(option.rect, index.row()),
                                       index.data(SidebarModel::CountRole)));
}

SidebarView::SidebarView(SidebarModel &model, NavigationState &navigation, QWidget *parent)
    : QListView(parent)
    , m_model(model)
    , m_navigation(navigation)
    , m_tourRing(new AnimatedAmount(this, GuidedTourHighlight::motion()))
{
    setModel(&m_model);
    setItemDelegate(new SidebarRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setUniformItemSizes(false);
    setAccessibleName(QStringLiteral("Tessaline"));
    viewport()->setAutoFillBackground(false);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &SidebarView::selectionDidChange);
    connect(&m_navigation, &NavigationState::destinationChanged, this, &SidebarView::selectDestinationRow);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &SidebarView::selectDestinationRow);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &SidebarView::followTourHighlight);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &SidebarView::followTourHighlight);
    // The ring reaches over the neighbouring rows, which a repaint of its
    // own row alone would leave behind.
    connect(m_tourRing, &AnimatedAmount::valueChanged, viewport(), qOverload<>(&QWidget::update));
    selectDestinationRow();
    followTourHighlight();
}

QRect SidebarView::rowShape(const QRect &itemRect, int row)
{
    return itemRect.adjusted(4, 1 + (row == 0 ? topRingRoom : 0), -4, -1);
}

int SidebarView::tourRingRow() const
{
    return m_tourRingRow.isValid() ? m_tourRingRow.row() : -1;
}

qreal SidebarView::tourRingOpacity() const
{
    return m_tourRingRow.isValid() ? m_tourRing->value() : 0;
}

void SidebarView::followTourHighlight()
{
    int highlighted = -1;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.index(row).data(SidebarModel::IsTourHighlightedRole).toBool()) {
            highlighted = row;
            break;
        }
    }
    // A new row takes the ring over as it stands; with none the ring fades
    // from the row it was on.
    if (highlighted >= 0 && highlighted != tourRingRow())
        m_tourRingRow = m_model.index(highlighted);
    m_tourRing->setOn(highlighted >= 0);
    viewport()->update();
}

void SidebarView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    const qreal opacity = tourRingOpacity();
    if (opacity <= 0)
        return;
    const QRect item = visualRect(m_tourRingRow);
    if (!item.isValid())
        return;
    QPainter painter(viewport());
    GuidedTourHighlight::paint(&painter, rowShape(item, m_tourRingRow.row()), 6, opacity, palette(),
                               DesignEnvironment::current().increasedContrast);
}

int SidebarView::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SidebarView::selectDestinationRow()
{
    m_syncing = true;
    const int row = m_model.rowForDestination(m_navigation.destination());
    if (row < 0) {
        selectionModel()->clearSelection();
    } else {
        const QModelIndex index = m_model.index(row);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    m_syncing = false;
}

void SidebarView::selectionDidChange()
{
    if (m_syncing)
        return;
    const int row = selectedRow();
    if (row < 0)
        return;
    m_navigation.setDestination(m_model.destinationAt(row));
}

} // namespace tessaline
