#include "canvas/SnipTrayView.h"

#include "canvas/BoardMapModel.h"
#include "canvas/CardPictures.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/ShapePainting.h"
#include "design/StudioDivider.h"
#include "design/SymbolLabel.h"
#include "model/CanvasCard.h"
#include "platform/SymbolIcon.h"
#include "platform/UuidText.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace tessaline {

namespace {

constexpr QSize tileSize(84, 58);
constexpr qreal tileRadius = 7;

// A snip's thumbnail, cut to a rounded tile; the placeholder when it has no
// readable picture.
class TrayTileDelegate : public QStyledItemDelegate
{
public:
    TrayTileDelegate(SnipTrayModel &model, CardPictures &pictures, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model), m_pictures(pictures)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return tileSize; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const CanvasCard *card = m_model.card(index);
        if (!card)
            return;
        const QRectF tile = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool contrast = DesignEnvironment::current().increasedContrast;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->setClipPath(roundedShape(tile, tileRadius));
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const CardPictures::Picture picture = m_pictures.picture(*card, (QSizeF(tileSize) * ratio).toSize());
        if (!picture.pixmap.isNull()) {
            const QSizeF size = QSizeF(picture.pixmap.size()).scaled(tile.size(), Qt::KeepAspectRatioByExpanding);
            painter->drawPixmap(QRectF(tile.center() - QPointF(size.width() / 2, size.height() / 2), size),
                                picture.pixmap, QRectF(picture.pixmap.rect()));
        } else {
            painter->fillRect(tile, withOpacity(semanticColor(SemanticColor::label, option.palette, contrast), 0.04));
            const QRectF symbol(tile.center() - QPointF(8, 8), QSizeF(16, 16));
            painter->drawPixmap(symbol, SymbolIcon::tintedPixmap(QStringLiteral("photo"), QSize(16, 16), ratio,
                                                                  semanticColor(SemanticColor::secondary,
                                                                                option.palette, contrast)),
                                QRectF(QPointF(), symbol.size() * ratio));
        }
        painter->restore();
        if (option.state.testFlag(QStyle::State_HasFocus))
            paintFocusRing(painter, tile, tileRadius, option.palette, contrast);
    }

private:
    SnipTrayModel &m_model;
    CardPictures &m_pictures;
};

} // namespace

SnipTrayModel::SnipTrayModel(BoardMapModel &map, QObject *parent)
    : QAbstractListModel(parent)
    , m_map(map)
{
    refresh();
}

void SnipTrayModel::refresh()
{
    const QList<CanvasCard *> tray = m_map.trayCards();
    QList<QPointer<CanvasCard>> cards(tray.cbegin(), tray.cend());
    if (cards == m_cards)
        return;
    beginResetModel();
    m_cards = std::move(cards);
    endResetModel();
}

CanvasCard *SnipTrayModel::card(const QModelIndex &index) const
{
    return index.isValid() && index.row() < m_cards.size() ? m_cards.at(index.row()).data() : nullptr;
}

int SnipTrayModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_cards.size());
}

QVariant SnipTrayModel::data(const QModelIndex &index, int role) const
{
    const CanvasCard *shown = card(index);
    if (!shown)
        return {};
    switch (role) {
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return BoardMapModel::trayTileTooltip(*shown);
    case CardIDRole:
        return shown->id();
    default:
        return {};
    }
}

Qt::ItemFlags SnipTrayModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled : Qt::NoItemFlags;
}

QStringList SnipTrayModel::mimeTypes() const
{
    return {BoardMapModel::cardDragMimeType()};
}

QMimeData *SnipTrayModel::mimeData(const QModelIndexList &indexes) const
{
    QStringList ids;
    for (const QModelIndex &index : indexes) {
        if (const CanvasCard *dragged = card(index))
            ids.append(uuidText(dragged->id()));
    }
    if (ids.isEmpty())
        return nullptr;
    auto *mime = new QMimeData;
    mime->setText(ids.join(u'\n'));
    return mime;
}

SnipTrayView::SnipTrayView(BoardMapModel &map, CardPictures &pictures, QWidget *parent)
    : QWidget(parent)
    , m_map(map)
    , m_model(new SnipTrayModel(map, this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new SymbolLabel(QStringLiteral("photo.stack"), 14, SemanticColor::secondary, this));
    auto *title = new QLabel(QStringLiteral("Snips"), this);
    title->setTextFormat(Qt::PlainText);
    title->setFont(TessalineTypography::systemFont(12, QFont::DemiBold));
    header->addWidget(title);
    row->addLayout(header);

    auto *divider = new StudioDivider(Qt::Vertical, this);
    divider->setFixedHeight(58);
    row->addWidget(divider);

    m_content = new QStackedWidget(this);
    m_empty = new QLabel(BoardMapModel::trayEmptyText(), m_content);
    m_empty->setTextFormat(Qt::PlainText);
    m_empty->setFont(TessalineTypography::systemFont(11, QFont::Normal));
    keepSemanticColors(m_empty, {{QPalette::WindowText, {SemanticColor::secondary}}});
    m_content->addWidget(m_empty);

    m_list = new QListView(m_content);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new TrayTileDelegate(*m_model, pictures, m_list));
    m_list->setFlow(QListView::LeftToRight);
    m_list->setWrapping(false);
    m_list->setSpacing(4);
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setDragEnabled(true);
    m_list->setDragDropMode(QAbstractItemView::DragOnly);
    m_list->setDefaultDropAction(Qt::CopyAction);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(QStringLiteral("Snips"));
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        if (CanvasCard *card = m_model->card(index))
            m_map.placeInNextSlot(*card);
    });
    // Return or Space on the current tile places it like a click; the list's
    // own activation is not used, as some styles activate on every click.
    m_list->installEventFilter(this);
    connect(&pictures, &CardPictures::pictureReady, m_list->viewport(), qOverload<>(&QWidget::update));
    m_content->addWidget(m_list);
    row->addWidget(m_content, 1);

    auto *close = new QToolButton(this);
    close->setIcon(SymbolIcon::icon(QStringLiteral("xmark")));
    close->setAutoRaise(true);
    close->setAccessibleName(QStringLiteral("Hide Snips"));
    close->setToolTip(QStringLiteral("Hide Snips"));
    connect(close, &QToolButton::clicked, this, &SnipTrayView::closeRequested);
    row->addWidget(close);

    connect(&map, &BoardMapModel::cardsChanged, this, &SnipTrayView::refresh);
    refresh();
}

bool SnipTrayView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            if (CanvasCard *card = m_model->card(m_list->currentIndex()))
                m_map.placeInNextSlot(*card);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SnipTrayView::refresh()
{
    m_model->refresh();
    m_content->setCurrentWidget(m_model->rowCount() == 0 ? static_cast<QWidget *>(m_empty) : m_list);
}

} // namespace tessaline
