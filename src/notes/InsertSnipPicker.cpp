#include "notes/InsertSnipPicker.h"

#include "design/SemanticColors.h"
#include "design/TextInputDirection.h"
#include "model/CanvasCard.h"
#include "notes/InsertSnipListModel.h"
#include "platform/SymbolIcon.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace tessaline {

namespace {

constexpr int pickerWidth = 340;
// Rows in sight before the list scrolls.
constexpr int rowsInSight = 12;
// Kept free between the picker and the screen's edges.
constexpr int screenMargin = 8;
constexpr int contentMargin = 6;
constexpr int rowInset = 8;
constexpr int iconSize = 16;

using RowKind = InsertSnipListModel::RowKind;

// Headings, snips and the empty row, all one height so the list lays out
// tens of thousands of rows without measuring each.
class InsertSnipRowDelegate : public QStyledItemDelegate
{
public:
    InsertSnipRowDelegate(int height, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_height(height)
        , m_icon(SymbolIcon::icon(QStringLiteral("photo")))
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return {std::max(option.rect.width(), 1), m_height};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto kind = RowKind(index.data(InsertSnipListModel::RowKindRole).toInt());
        const QString text = index.data(Qt::DisplayRole).toString();
        // Headings and the "nothing found" line are no rows to pick, yet read.
        const bool windowActive = option.state & QStyle::State_Active;
        const QPalette palette = kind == RowKind::snip ? option.palette : readablePalette(option.palette, windowActive);
        QRect area = option.rect.adjusted(rowInset, 0, -rowInset, 0);
        painter->save();
        QFont font = option.font;
        QColor colour = semanticColor(SemanticColor::label, palette);
        if (kind == RowKind::heading) {
            if (index.data(InsertSnipListModel::FollowsSectionRole).toBool()) {
                painter->setPen(TessalineColors::separator());
                const int y = option.rect.top() + 2;
                painter->drawLine(area.left(), y, area.right(), y);
            }
            font.setBold(true);
            colour = semanticColor(SemanticColor::secondary, palette);
        } else if (kind == RowKind::none) {
            colour = semanticColor(SemanticColor::secondary, palette);
        } else {
            if (option.state & QStyle::State_Selected) {
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setPen(Qt::NoPen);
                painter->setBrush(selectionFill(palette));
                painter->drawRoundedRect(option.rect.adjusted(2, 1, -2, -1), 5, 5);
                colour = palette.color(QPalette::HighlightedText);
            }
            const QRect iconArea(area.left(), area.top() + (area.height() - iconSize) / 2, iconSize, iconSize);
            m_icon.paint(painter, iconArea, Qt::AlignCenter,
                         option.state & QStyle::State_Selected ? QIcon::Selected : QIcon::Normal);
            area.setLeft(iconArea.right() + 1 + rowInset);
        }
        painter->setFont(font);
        painter->setPen(colour);
        // A right-to-left title stands against the right edge and loses its
        // end, not its start, when it is cut.
        const QFontMetricsF metrics(font);
        painter->drawText(area, int(alignmentInItsOwnDirection(text) | Qt::AlignVCenter) | Qt::TextSingleLine,
                          elidedInItsOwnDirection(text, metrics, area.width()));
        painter->restore();
    }

private:
    int m_height;
    QIcon m_icon;
};

} // namespace

InsertSnipPicker::InsertSnipPicker(InsertSnipListModel &rows, QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_rows(rows)
{
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("Insert Snip"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(contentMargin, contentMargin, contentMargin, contentMargin);
    column->setSpacing(contentMargin);

    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Filter Snips"));
    m_field->setAccessibleName(QStringLiteral("Filter Snips"));
    m_field->setClearButtonEnabled(true);
    textInputDirection(m_field);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, &m_rows, &InsertSnipListModel::setFilterText);
    column->addWidget(m_field);

    buildList();
    column->addWidget(m_list, 1);
    setFocusProxy(m_field);
}

void InsertSnipPicker::buildList()
{
    m_list = new QListView(this);
    m_list->setAccessibleName(QStringLiteral("Snips"));
    m_list->setFrameShape(QFrame::NoFrame);
    // The field keeps the keyboard; the list follows it.
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setItemDelegate(new InsertSnipRowDelegate(rowHeight(), m_list));
    m_list->setModel(&m_rows);
    m_list->verticalScrollBar()->setSingleStep(rowHeight());
    // As in a menu, the snip under the pointer is the current one; the list
    // does not scroll under it.
    m_list->setMouseTracking(true);
    connect(m_list, &QListView::entered, this, [this](const QModelIndex &index) {
        if (m_rows.rowKind(index.row()) == RowKind::snip) {
            m_currentCard = m_rows.card(index.row())->id();
            m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        }
    });
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) { chooseRow(index.row()); });
    connect(&m_rows, &InsertSnipListModel::rowsRebuilt, this, &InsertSnipPicker::rowsRebuilt);
}

int InsertSnipPicker::rowHeight() const
{
    return fontMetrics().height() + 10;
}

int InsertSnipPicker::pageRows() const
{
    return std::max(1, m_list->viewport()->height() / rowHeight() - 1);
}

void InsertSnipPicker::popup(const QRect &anchor)
{
    m_anchor = anchor;
    if (std::exchange(m_opening, true))
        return;
    continueOpening();
}

void InsertSnipPicker::continueOpening()
{
    // A large library's snips are put in order a slice at each turn of the
    // event loop, then made into rows, then shown, so no turn holds it for
    // long; a small one's at once.
    if (!m_opening)
        return;
    const auto nextTurn = [this] {
        QMetaObject::invokeMethod(this, &InsertSnipPicker::continueOpening, Qt::QueuedConnection);
    };
    if (!m_rowsMade) {
        if (!m_rows.prepareRefresh(m_cardsPerTurn)) {
            m_preparing = true;
            nextTurn();
            return;
        }
        // Each opening starts over: the whole list, nothing current, at its
        // top.
        m_field->clear();
        m_rows.refresh();
        setCurrentRow(-1);
        m_list->scrollToTop();
        m_rowsMade = true;
        if (std::exchange(m_preparing, false)) {
            nextTurn();
            return;
        }
    }
    m_opening = false;
    m_rowsMade = false;
    m_rows.setLive(true);
    // The library may have changed in the turns it took.
    m_rows.refresh();
    placeBelow(m_anchor);
    m_field->setFocus(Qt::PopupFocusReason);
    show();
}

void InsertSnipPicker::placeBelow(const QRect &anchor)
{
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = this->screen();
    const QRect free = screen->availableGeometry().adjusted(screenMargin, screenMargin, -screenMargin, -screenMargin);
    const int frame = 2 * frameWidth();
    const int listHeight = std::min(int(m_rows.rowCount()), rowsInSight) * rowHeight();
    int height = frame + 2 * contentMargin + m_field->sizeHint().height() + contentMargin + listHeight;
    const int width = std::min(pickerWidth, free.width());
    const int below = free.bottom() - anchor.bottom();
    const int above = anchor.top() - free.top();
    int top = anchor.bottom() + 1;
    if (height > below && above > below) {
        height = std::min(height, above);
        top = anchor.top() - height;
    } else {
        height = std::min(height, below);
    }
    // Against the button's trailing edge, as far as the screen allows.
    const int left = std::clamp(anchor.right() + 1 - width, free.left(), free.right() + 1 - width);
    setGeometry(left, top, width, height);
}

void InsertSnipPicker::rowsRebuilt()
{
    // A snip's words recognised while the picker is open make the rows
    // again: the snip the user went down to stays current, or Return
    // would choose nothing.
    const bool sameText = std::exchange(m_rowsText, m_rows.filterText()) == m_rows.filterText();
    if (sameText && !m_currentCard.isNull()) {
        for (int row = 0; row < m_rows.rowCount(); ++row) {
            if (m_rows.rowKind(row) == RowKind::snip && m_rows.card(row)->id() == m_currentCard) {
                setCurrentRow(row);
                return;
            }
        }
    }
    // A text typed makes its first hit current, so Return takes it.
    setCurrentRow(m_rows.isFiltered() ? m_rows.firstSnipRow() : -1);
    m_list->scrollToTop();
}

void InsertSnipPicker::setCurrentRow(int row)
{
    QItemSelectionModel *selection = m_list->selectionModel();
    const CanvasCard *card = row < 0 ? nullptr : m_rows.card(row);
    m_currentCard = card ? card->id() : QUuid();
    if (row < 0) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_rows.index(row);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_list->scrollTo(index);
}

void InsertSnipPicker::moveCurrent(int step)
{
    const QModelIndex current = m_list->selectionModel()->currentIndex();
    int from = current.isValid() && m_list->selectionModel()->isSelected(current) ? current.row() : -1;
    if (from < 0 && step < 0)
        from = m_rows.rowCount();
    const int row = m_rows.snipRowFrom(from, step);
    if (row >= 0)
        setCurrentRow(row);
}

void InsertSnipPicker::chooseRow(int row)
{
    const CanvasCard *card = m_rows.card(row);
    if (!card)
        return;
    const QUuid cardID = card->id();
    hide();
    Q_EMIT snipChosen(cardID);
}

bool InsertSnipPicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Down:
        moveCurrent(1);
        return true;
    case Qt::Key_Up:
        moveCurrent(-1);
        return true;
    case Qt::Key_PageDown:
        moveCurrent(pageRows());
        return true;
    case Qt::Key_PageUp:
        moveCurrent(-pageRows());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QModelIndex current = m_list->selectionModel()->currentIndex();
        if (current.isValid() && m_list->selectionModel()->isSelected(current))
            chooseRow(current.row());
        return true;
    }
    case Qt::Key_Escape:
        hide();
        return true;
    default:
        return QFrame::eventFilter(watched, event);
    }
}

void InsertSnipPicker::setVisible(bool visible)
{
    // Closed before it came up, it does not come up.
    if (!visible) {
        m_opening = false;
        m_rowsMade = false;
        m_preparing = false;
    }
    QFrame::setVisible(visible);
}

void InsertSnipPicker::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    // Closed, the rows need not follow the library; they are made again
    // when it next opens, if it changed.
    m_rows.setLive(false);
}

} // namespace tessaline
