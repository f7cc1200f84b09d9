#pragma once

#include "platform/DesktopSearchBus.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>

namespace tessaline {

class CardCatalog;
class SearchIndex;

// The desktop's search over the snips: answers from the search index the
// app fills, keeping to the snips that are still in the library and not in
// Recently Deleted. A result is a snip whose title, text, note name or
// source application holds the query's words as one phrase, ignoring case,
// accents and width, as the app's own search does: the search the desktop
// carries on into the app finds every result it listed. The latest change
// first, one screenful at most. Picking a result or asking to search on is
// handed to the app through the signals.
class DesktopSearch : public QObject, public DesktopSearchHandling
{
    Q_OBJECT
public:
    // One screenful of the desktops' result lists: GNOME Shell shows five
    // rows of a provider, KRunner about ten lines.
    static constexpr int maximumResultCount = 10;

    DesktopSearch(std::unique_ptr<SearchIndex> index, std::unique_ptr<CardCatalog> catalog,
                  QObject *parent = nullptr);
    ~DesktopSearch() override;

    // Over the index and library of the app's data directory, as they are;
    // neither is created when missing.
    static std::unique_ptr<DesktopSearch> forDataDirectory(QObject *parent = nullptr);

    QStringList resultIdentifiers(const QStringList &terms) override;
    // Title as the name; the note's name and the source application as the
    // description; the stored thumbnail as the icon.
    QList<DesktopSearchResult> results(const QStringList &identifiers) override;
    void activateResult(const QString &identifier) override;
    void launchSearch(const QStringList &terms) override;

    // The terms as the one phrase they are looked for as, and carried on.
    static QString phrase(const QStringList &terms);

Q_SIGNALS:
    // The desktop asked for results or for their details.
    void asked();
    // A live snip was picked among the results.
    void snipActivated(const QUuid &cardID);
    // The user wants the app's own search, with this text typed in.
    void searchRequested(const QString &text);

private:
    std::unique_ptr<SearchIndex> m_index;
    std::unique_ptr<CardCatalog> m_catalog;
};

} // namespace tessaline
