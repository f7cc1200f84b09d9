#include "notes/InsertSnipListModel.h"

#include "model/CanvasCard.h"
#include "model/CardCatalog.h"
#include "model/ModelContext.h"
#include "notes/BoardCanvasModel.h"
#include "platform/FutureDelivery.h"
#include "platform/TextUtilities.h"
#include "runtime/LibraryQuery.h"

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace tessaline {

// Every snip's title sources in the picker's order, copied for the worker.
// The first worker to need them makes each snip's display title, inside
// `titlesMade`, before any worker reads them: texts the context has not read
// yet are read from the library file there, and only the titles are kept,
// not the long texts they were cut from.
struct InsertSnipListModel::Candidates
{
    mutable std::vector<CanvasCard::TitleSources> sources;
    std::vector<qint64> textsRows;
    QString filePath;
    mutable std::once_flag titlesMade;
    mutable std::vector<QString> titles;
    mutable bool textsMissing = false;
};

InsertSnipListModel::InsertSnipListModel(BoardCanvasModel &workspace, QObject *parent)
    : QAbstractListModel(parent)
    , m_workspace(workspace)
{
    // A save can take cards out of the library, and so can writes taken
    // back: rows never outlive the cards they point at.
    connect(&workspace, &BoardCanvasModel::cardsChanged, this, &InsertSnipListModel::workspaceChanged);
    connect(&workspace.library().context(), &ModelContext::writesTakenBack, this,
            &InsertSnipListModel::workspaceChanged);
}

InsertSnipListModel::~InsertSnipListModel() = default;

void InsertSnipListModel::setLive(bool live)
{
    m_live = live;
}

void InsertSnipListModel::workspaceChanged()
{
    if (m_live) {
        refresh();
        return;
    }
    if (!m_revision)
        return;
    // Closed, the picker keeps nothing that a change could leave behind; it
    // is made again when it next opens.
    beginResetModel();
    m_revision.reset();
    m_sections.clear();
    m_sectionStarts.clear();
    m_rows.clear();
    m_hits.reset();
    forgetCandidates();
    ++m_filterRound;
    m_pendingRound.reset();
    endResetModel();
}

bool InsertSnipListModel::prepareRefresh(qsizetype cards)
{
    return m_revision == m_workspace.insertSnipRevision() || m_workspace.workOutAvailableSnips(cards);
}

void InsertSnipListModel::refresh()
{
    const quint64 revision = m_workspace.insertSnipRevision();
    if (m_revision == revision)
        return;
    m_revision = revision;
    m_sections.clear();
    m_sectionStarts.clear();
    qsizetype start = 0;
    for (BoardCanvasModel::SnipSection &section : m_workspace.insertSnipSections()) {
        m_sectionStarts.append(start);
        start += section.cards.size();
        m_sections.append({std::move(section.title), std::move(section.cards)});
    }
    // Hits found for the snips as they were say nothing about these.
    m_hits.reset();
    forgetCandidates();
    ++m_filterRound;
    m_pendingRound.reset();
    rebuildRows(std::nullopt);
    if (const QString text = trimmedWhitespace(m_filterText); !text.isEmpty()) {
        if (start >= m_largeLibrary)
            filterInBackground(text);
        else
            filterNow(text);
    }
}

void InsertSnipListModel::setFilterText(const QString &text)
{
    if (text == m_filterText)
        return;
    m_filterText = text;
    if (!m_revision)
        return;
    const QString trimmed = trimmedWhitespace(text);
    if (trimmed.isEmpty()) {
        ++m_filterRound;
        m_pendingRound.reset();
        m_hits.reset();
        rebuildRows(std::nullopt);
        return;
    }
    if (snipCount() >= m_largeLibrary)
        filterInBackground(trimmed);
    else
        filterNow(trimmed);
}

bool InsertSnipListModel::isFiltered() const
{
    return !trimmedWhitespace(m_filterText).isEmpty();
}

CanvasCard *InsertSnipListModel::snipAt(qsizetype index) const
{
    for (qsizetype section = m_sections.size() - 1; section >= 0; --section) {
        if (index >= m_sectionStarts.at(section))
            return m_sections.at(section).cards.at(index - m_sectionStarts.at(section));
    }
    return nullptr;
}

void InsertSnipListModel::filterNow(const QString &text)
{
    ++m_filterRound;
    m_pendingRound.reset();
    // Typing on only narrows: a title that holds the longer text holds the
    // shorter one, so only the snips found for that can stay.
    QList<qsizetype> hits;
    const auto test = [&](qsizetype index) {
        if (snipAt(index)->displayTitleContains(text, Qt::CaseInsensitive))
            hits.append(index);
    };
    if (m_hits && text.contains(m_hitsText, Qt::CaseInsensitive)) {
        for (const qsizetype index : std::as_const(*m_hits))
            test(index);
    } else {
        for (qsizetype section = 0; section < m_sections.size(); ++section) {
            for (qsizetype i = 0; i < m_sections.at(section).cards.size(); ++i)
                test(m_sectionStarts.at(section) + i);
        }
    }
    m_hits = std::move(hits);
    m_hitsText = text;
    rebuildRows(m_hits);
}

qsizetype InsertSnipListModel::snipCount() const
{
    return m_sections.isEmpty() ? 0 : m_sectionStarts.constLast() + m_sections.constLast().cards.size();
}

void InsertSnipListModel::forgetCandidates()
{
    m_candidates.reset();
    m_copying.reset();
}

void InsertSnipListModel::filterInBackground(const QString &text)
{
    const quint64 round = ++m_filterRound;
    m_pendingRound = round;
    if (m_candidates) {
        searchCandidates(text, round);
        return;
    }
    // The worker starts once every snip is copied, for the text typed by
    // then.
    if (m_copying)
        return;
    m_copying = std::make_shared<Candidates>();
    m_copying->filePath = m_workspace.library().context().filePath();
    m_copying->sources.reserve(size_t(snipCount()));
    m_copying->textsRows.reserve(size_t(snipCount()));
    copyCandidates();
}

void InsertSnipListModel::copyCandidates()
{
    // A slice of the snips at each turn of the event loop: copying tens of
    // thousands at once would hold up the first key typed.
    constexpr qsizetype perTurn = 4096;
    if (!m_copying)
        return;
    Candidates &copying = *m_copying;
    const qsizetype total = snipCount();
    const qsizetype end = std::min(total, qsizetype(copying.sources.size()) + perTurn);
    for (qsizetype index = qsizetype(copying.sources.size()); index < end; ++index) {
        const CanvasCard *card = snipAt(index);
        const qint64 row = copying.filePath.isEmpty() ? 0 : card->unreadTextsRow();
        if (row > 0) {
            // A title of its own is the display title; the texts are needed
            // only without one.
            CanvasCard::TitleSources sources;
            sources.title = card->title();
            sources.kind = CardKind::snip;
            copying.sources.push_back(std::move(sources));
        } else {
            copying.sources.push_back(card->titleSources());
        }
        copying.textsRows.push_back(row);
    }
    if (end < total) {
        QMetaObject::invokeMethod(this, &InsertSnipListModel::copyCandidates, Qt::QueuedConnection);
        return;
    }
    m_candidates = std::move(m_copying);
    m_copying.reset();
    if (m_pendingRound)
        searchCandidates(trimmedWhitespace(m_filterText), *m_pendingRound);
}

void InsertSnipListModel::searchCandidates(const QString &text, quint64 round)
{
    const std::shared_ptr<const Candidates> all = m_candidates;
    std::optional<QList<qsizetype>> among;
    if (m_hits && text.contains(m_hitsText, Qt::CaseInsensitive))
        among = m_hits;
    runInBackground(this, [all, text, among]() -> std::optional<QList<qsizetype>> {
        std::call_once(all->titlesMade, [&all] {
            // Only a snip without a title of its own needs its texts; theirs
            // are read in one pass over the file.
            std::vector<size_t> reading;
            std::vector<qint64> rows;
            for (size_t i = 0; i < all->sources.size(); ++i) {
                const CanvasCard::TitleSources &sources = all->sources.at(i);
                const qint64 row = all->textsRows.at(i);
                if (row > 0 && (!sources.title || trimmedWhitespace(*sources.title).isEmpty())) {
                    reading.push_back(i);
                    rows.push_back(row);
                }
            }
            all->titles.resize(all->sources.size());
            const auto makeTitle = [&all](size_t i) {
                CanvasCard::TitleSources &sources = all->sources.at(i);
                all->titles.at(i) = CanvasCard::displayTitle(sources);
                sources = {};
            };
            if (!rows.empty()) {
                CardCatalog file(all->filePath);
                file.readStoredTexts(rows, [&](size_t index, std::optional<CardCatalog::CardTexts> texts) {
                    if (!texts) {
                        all->textsMissing = true;
                        return false;
                    }
                    CanvasCard::TitleSources &sources = all->sources.at(reading.at(index));
                    sources.markdownText = std::move(texts->markdownText);
                    sources.contextText = std::move(texts->contextText);
                    sources.ocrText = std::move(texts->ocrText);
                    makeTitle(reading.at(index));
                    return true;
                });
                if (all->textsMissing)
                    return;
            }
            auto read = reading.cbegin();
            for (size_t i = 0; i < all->sources.size(); ++i) {
                if (read != reading.cend() && *read == i)
                    ++read;
                else
                    makeTitle(i);
            }
        });
        if (all->textsMissing)
            return std::nullopt;
        QList<qsizetype> hits;
        const auto test = [&](qsizetype index) {
            if (all->titles.at(size_t(index)).contains(text, Qt::CaseInsensitive))
                hits.append(index);
        };
        if (among) {
            for (const qsizetype index : std::as_const(*among))
                test(index);
        } else {
            for (qsizetype index = 0; index < qsizetype(all->titles.size()); ++index)
                test(index);
        }
        return hits;
    }).then(this, [this, round, text](const std::optional<QList<qsizetype>> &hits) {
        // A later key or a change of the library wins.
        if (round != m_filterRound)
            return;
        m_pendingRound.reset();
        if (!hits) {
            // The file would not give the texts: the context reads them.
            filterNow(text);
            return;
        }
        m_hits = *hits;
        m_hitsText = text;
        rebuildRows(m_hits);
    });
}

void InsertSnipListModel::rebuildRows(const std::optional<QList<qsizetype>> &hits)
{
    beginResetModel();
    m_rows.clear();
    if (m_sections.isEmpty()) {
        m_rows.append({RowKind::none, 0});
    } else {
        qsizetype hit = 0;
        for (qsizetype section = 0; section < m_sections.size(); ++section) {
            const qsizetype start = m_sectionStarts.at(section);
            const qsizetype end = start + m_sections.at(section).cards.size();
            if (!hits) {
                m_rows.append({RowKind::heading, section});
                for (qsizetype index = start; index < end; ++index)
                    m_rows.append({RowKind::snip, index});
                continue;
            }
            // Hits come in the order of every snip, so each section's are a
            // run of them.
            bool headed = false;
            for (; hit < hits->size() && hits->at(hit) < end; ++hit) {
                if (!std::exchange(headed, true))
                    m_rows.append({RowKind::heading, section});
                m_rows.append({RowKind::snip, hits->at(hit)});
            }
        }
        // A filter that leaves nothing says so rather than showing a blank list.
        if (m_rows.isEmpty())
            m_rows.append({RowKind::none, 1});
    }
    endResetModel();
    Q_EMIT rowsRebuilt();
}

InsertSnipListModel::RowKind InsertSnipListModel::rowKind(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).kind : RowKind::none;
}

CanvasCard *InsertSnipListModel::card(int row) const
{
    return rowKind(row) == RowKind::snip ? snipAt(m_rows.at(row).index) : nullptr;
}

int InsertSnipListModel::firstSnipRow() const
{
    return snipRowFrom(-1, 1);
}

int InsertSnipListModel::lastSnipRow() const
{
    return snipRowFrom(int(m_rows.size()), -1);
}

int InsertSnipListModel::snipRowFrom(int row, int step) const
{
    const int direction = step < 0 ? -1 : 1;
    int found = rowKind(row) == RowKind::snip ? row : -1;
    int left = std::abs(step);
    for (int at = row + direction; left > 0 && at >= 0 && at < m_rows.size(); at += direction) {
        if (m_rows.at(at).kind == RowKind::snip) {
            found = at;
            --left;
        }
    }
    return found;
}

int InsertSnipListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant InsertSnipListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (row.kind) {
        case RowKind::heading:
            return m_sections.at(row.index).title;
        case RowKind::none:
            return row.index == 1 ? QStringLiteral("No Matching Snips") : QStringLiteral("No Snips Available");
        case RowKind::snip: {
            const QString title = snipAt(row.index)->displayTitle();
            return role == Qt::DisplayRole ? title : QStringLiteral("Insert ") + title;
        }
        }
        return {};
    case RowKindRole:
        return int(row.kind);
    case CardIDRole:
        return row.kind == RowKind::snip ? QVariant(snipAt(row.index)->id()) : QVariant();
    case FollowsSectionRole:
        return row.kind == RowKind::heading && index.row() > 0;
    default:
        return {};
    }
}

Qt::ItemFlags InsertSnipListModel::flags(const QModelIndex &index) const
{
    return rowKind(index.row()) == RowKind::snip && index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                                                   : Qt::NoItemFlags;
}

} // namespace tessaline
