#include "notes/NoteListRowDelegate.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/RowToolTip.h"
#include "design/ShapePainting.h"
#include "design/TextInputDirection.h"
#include "notes/NoteListItemModel.h"
#include "platform/SymbolIcon.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <array>

namespace tessaline {

namespace {

QFont titleFont() { return TessalineTypography::systemFont(13, QFont::DemiBold); }

constexpr qreal starSize = 10;
QFont excerptFont() { return TessalineTypography::systemFont(11, QFont::Normal); }
QFont detailFont() { return TessalineTypography::systemFont(10, QFont::Normal); }

// Two lines of the widest column hold far fewer characters than this; an
// excerpt is a whole paragraph and may be very long.
constexpr qsizetype enoughForTwoLines = 400;

// What measuring a row needs of its fonts. Every row is measured when the
// list is laid out: made again only when the application's font, which they
// derive from, changes.
struct RowFonts
{
    QFont excerpt;
    int titleLine = 0;
    int excerptLine = 0;
    int detailLine = 0;
};

const RowFonts &rowFonts()
{
    static QFont madeFrom;
    static RowFonts fonts;
    static bool made = false;
    const QFont application = QGuiApplication::font();
    if (!made || !(application == madeFrom)) {
        madeFrom = application;
        fonts.excerpt = excerptFont();
        fonts.titleLine = QFontMetrics(titleFont()).lineSpacing();
        fonts.excerptLine = QFontMetrics(fonts.excerpt).lineSpacing();
        fonts.detailLine = QFontMetrics(detailFont()).lineSpacing();
        made = true;
    }
    return fonts;
}

// Up to `maximumLines` lines of the text wrapped at `width`; the last one
// ends in an ellipsis when the text goes on.
void drawWrapped(QPainter *painter, const QString &wholeText, const QFont &font, const QRectF &box, int maximumLines)
{
    // The lines shown never reach past the beginning; the rest would only
    // be shaped to be cut off.
    const QString text = wholeText.left(enoughForTwoLines);
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    QList<std::pair<int, int>> lines;
    for (int i = 0; i < maximumLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, y));
        y += metrics.lineSpacing();
        lines.append({line.textStart(), line.textLength()});
    }
    layout.endLayout();
    // A paragraph's lines all stand against the edge its first decisive
    // letter starts from, as they would in the editor.
    const Qt::Alignment alignment = alignmentInItsOwnDirection(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto [start, length] = lines.at(i);
        const bool last = i == lines.size() - 1;
        QString part = last ? text.mid(start) : text.mid(start, length);
        if (last)
            part = elidedInItsOwnDirection(part.trimmed(), metrics, box.width());
        painter->drawText(QRectF(box.left(), box.top() + i * metrics.lineSpacing(), box.width(), metrics.lineSpacing()),
                          alignment | Qt::AlignVCenter | Qt::TextSingleLine, part);
    }
}

} // namespace

qreal NoteListRowDelegate::titleWidth(qreal rowWidth, bool favorite)
{
    return textWidth(rowWidth) - (favorite ? starSize + 4 : 0);
}

QString NoteListRowDelegate::titleToolTip(const QString &title, qreal rowWidth, bool favorite)
{
    return QFontMetricsF(titleFont()).horizontalAdvance(title) > titleWidth(rowWidth, favorite) ? title : QString();
}

bool NoteListRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    return showRowToolTip(event, view, index,
                          titleToolTip(index.data(NoteListItemModel::TitleRole).toString(), option.rect.width(),
                                       index.data(NoteListItemModel::FavoriteRole).toBool()));
}

int NoteListRowDelegate::rowHeight(int excerptLines)
{
    const RowFonts &fonts = rowFonts();
    const int excerpt = fonts.excerptLine * std::clamp(excerptLines, 1, 2);
    return 2 * verticalPadding + 2 * 4 + fonts.titleLine + excerpt + fonts.detailLine + 2 * lineSpacing;
}

namespace {

// The advance of each character up to the end of Latin-1 on its own, in the
// excerpt's font; below zero for the ones measured in context only (controls,
// the soft hyphen, characters the font lacks).
class LatinAdvances
{
public:
    static const LatinAdvances &of(const QFont &font)
    {
        static LatinAdvances table;
        if (!table.m_made || table.m_font != font) {
            table.m_font = font;
            // All at once from the font's own glyphs: measured one by one
            // they would cost as much as the rows they spare.
            QString characters;
            for (char16_t c = 0; c < table.m_advances.size(); ++c)
                characters.append(QChar(isOwnWidth(c) ? c : u' '));
            const QRawFont raw = QRawFont::fromFont(font);
            const QList<quint32> glyphs = raw.glyphIndexesForString(characters);
            const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
            for (char16_t c = 0; c < table.m_advances.size(); ++c) {
                // A character the font lacks comes from another one: it is
                // measured in context.
                const bool own = isOwnWidth(c) && glyphs.size() == characters.size() && glyphs.at(c) != 0
                                 && advances.size() == glyphs.size();
                table.m_advances[c] = own ? advances.at(c).x() : -1;
            }
            table.m_made = true;
        }
        return table;
    }

    // True when the text's own advances add up to more than `limit` before
    // any character that has to be seen in context.
    bool exceeds(QStringView text, qreal limit) const
    {
        qreal sum = 0;
        for (const QChar c : text) {
            const char16_t code = c.unicode();
            if (code >= m_advances.size() || m_advances[code] < 0)
                return false;
            sum += m_advances[code];
            if (sum > limit)
                return true;
        }
        return false;
    }

private:
    static bool isOwnWidth(char16_t c) { return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c != 0xAD); }

    QFont m_font;
    std::array<qreal, 0x100> m_advances{};
    bool m_made = false;
};

} // namespace

int NoteListRowDelegate::excerptLines(const QString &excerpt, qreal width)
{
    const QFont &font = rowFonts().excerpt;
    // Every row is measured when the list is laid out, and most excerpts are
    // sentences that run on. Shaped together, letters take back from their
    // own advances only what kerning and ligatures take, never half: letters
    // whose own advances pass twice the line take two lines, unshaped.
    if (LatinAdvances::of(font).exceeds(QStringView(excerpt).left(enoughForTwoLines), 2 * width))
        return 2;
    const QFontMetricsF metrics(font);
    // Other scripts: a beginning wider than the line by more than a kerning
    // pair could take back settles it before the whole is shaped.
    constexpr qsizetype beginning = 96;
    if (excerpt.size() > beginning && metrics.horizontalAdvance(excerpt.left(beginning)) > width + metrics.height())
        return 2;
    const qreal advance = metrics.horizontalAdvance(excerpt.left(enoughForTwoLines));
    return advance <= width ? 1 : 2;
}

NoteListRowDelegate::NoteListRowDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
    , m_viewport(view->viewport())
{
    view->installEventFilter(this);
    m_viewport->installEventFilter(this);
}

bool NoteListRowDelegate::eventFilter(QObject *watched, QEvent *event)
{
    bool keyboard = m_keyboardFocus;
    switch (event->type()) {
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        keyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
        break;
    }
    case QEvent::KeyPress:
        keyboard = keyboard || watched == m_view;
        break;
    case QEvent::MouseButtonPress:
        keyboard = false;
        break;
    default:
        break;
    }
    if (keyboard != m_keyboardFocus) {
        m_keyboardFocus = keyboard;
        m_viewport->update();
    }
    // Watched only, never taken; the base class would treat the list as an
    // editor of its own.
    if (watched == m_view || watched == m_viewport)
        return false;
    return QStyledItemDelegate::eventFilter(watched, event);
}

QSize NoteListRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    const int width = view ? view->viewport()->width() : option.rect.width();
    const QString excerpt = index.data(NoteListItemModel::ExcerptRole).toString();
    return QSize(width, rowHeight(excerptLines(excerpt, textWidth(width))));
}

void NoteListRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool contrast = DesignEnvironment::current().increasedContrast;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool active = option.state.testFlag(QStyle::State_Active);
    const QRectF card = QRectF(option.rect).adjusted(outerInset, 2, -outerInset, -2);
    const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
    if (selected) {
        QPainterPath shape;
        shape.addRoundedRect(card, TessalineMetrics::controlCornerRadius, TessalineMetrics::controlCornerRadius);
        painter->fillPath(shape, selectionFill(option.palette, group));
    } else if (option.state.testFlag(QStyle::State_MouseOver)) {
        QPainterPath shape;
        shape.addRoundedRect(card, TessalineMetrics::controlCornerRadius, TessalineMetrics::controlCornerRadius);
        painter->fillPath(shape, withOpacity(semanticColor(SemanticColor::label, option.palette), 0.05));
    }
    // With the keyboard in the list, the row its keys act on carries the
    // controls' focus ring; the selection alone does not say where it is.
    if (m_keyboardFocus && option.state.testFlag(QStyle::State_HasFocus))
        paintFocusRing(painter, card, TessalineMetrics::controlCornerRadius, option.palette, contrast);
    // On the selection every line takes the highlighted text colour, in the
    // window's background too: grey lines would not read on the accent.
    const QColor primary = selected ? option.palette.color(group, QPalette::HighlightedText)
                                    : semanticColor(SemanticColor::label, option.palette, contrast);
    const QColor secondary = selected ? withOpacity(primary, selectedSecondaryTextOpacity)
                                      : semanticColor(SemanticColor::secondary, option.palette, contrast);
    const QColor tertiary = selected ? withOpacity(primary, selectedSecondaryTextOpacity)
                                     : semanticColor(SemanticColor::tertiary, option.palette, contrast);

    const QRectF content = card.adjusted(innerPadding, verticalPadding + 4, -innerPadding, -(verticalPadding + 4));
    qreal y = content.top();

    // Title line, with the star at its end for a favourite.
    const QFontMetricsF titleMetrics(titleFont());
    const bool favorite = index.data(NoteListItemModel::FavoriteRole).toBool();
    const qreal titleWidth = NoteListRowDelegate::titleWidth(option.rect.width(), favorite);
    painter->setFont(titleFont());
    painter->setPen(primary);
    painter->drawText(QRectF(content.left(), y, titleWidth, titleMetrics.lineSpacing()),
                      Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                      elidedInItsOwnDirection(index.data(NoteListItemModel::TitleRole).toString(), titleMetrics, titleWidth));
    if (favorite) {
        const QRectF star(content.right() - starSize, y + (titleMetrics.lineSpacing() - starSize) / 2, starSize, starSize);
        painter->drawPixmap(star.toRect(), SymbolIcon::tintedPixmap(QStringLiteral("star.fill"), star.size().toSize(),
                                                                    painter->device()->devicePixelRatioF(), secondary));
    }
    y += titleMetrics.lineSpacing() + lineSpacing;

    const QFontMetricsF excerptMetrics(excerptFont());
    painter->setFont(excerptFont());
    painter->setPen(secondary);
    const QString excerpt = index.data(NoteListItemModel::ExcerptRole).toString();
    const int lines = excerptLines(excerpt, content.width());
    drawWrapped(painter, excerpt, excerptFont(),
                QRectF(content.left(), y, content.width(), excerptMetrics.lineSpacing() * lines), lines);
    y += excerptMetrics.lineSpacing() * lines + lineSpacing;

    // Detail line: when it changed, and how many snips it holds.
    const QFontMetricsF detailMetrics(detailFont());
    painter->setFont(detailFont());
    painter->setPen(tertiary);
    QString detail = index.data(NoteListItemModel::DateTextRole).toString();
    const int snips = index.data(NoteListItemModel::SnipCountRole).toInt();
    qreal x = content.left();
    const qreal lineHeight = detailMetrics.lineSpacing();
    const QRectF dateBox(x, y, content.width(), lineHeight);
    painter->drawText(dateBox, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                      detailMetrics.elidedText(detail, Qt::ElideRight, content.width()));
    if (snips >= 1) {
        x += detailMetrics.horizontalAdvance(detail) + 6;
        painter->drawText(QRectF(x, y, 10, lineHeight), Qt::AlignLeading | Qt::AlignVCenter, QStringLiteral("·"));
        x += detailMetrics.horizontalAdvance(QStringLiteral("·")) + 6;
        const qreal icon = 10;
        painter->drawPixmap(QRectF(x, y + (lineHeight - icon) / 2, icon, icon).toRect(),
                            SymbolIcon::tintedPixmap(QStringLiteral("photo"), QSize(int(icon), int(icon)),
                                                     painter->device()->devicePixelRatioF(), tertiary));
        x += icon + 3;
        painter->drawText(QRectF(x, y, content.right() - x, lineHeight), Qt::AlignLeading | Qt::AlignVCenter,
                          QString::number(snips));
    }
    painter->restore();
}

} // namespace tessaline
