#pragma once

#include "model/CanvasCard.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// What the inspector shows for its selection, and the form of one card.
struct CardInspectorForm
{
    struct Row
    {
        QString label;
        QString value;
        friend bool operator==(const Row &, const Row &) = default;
    };

    QString title;
    bool showsKind = false;
    ThoughtKind kind = ThoughtKind::thought;
    QString context;
    // Present when the card names its source application, even an empty one.
    bool showsSource = false;
    QList<Row> sourceRows;
    // The "Technical details" group's one row, when there is a bundle id.
    std::optional<Row> technicalDetails;
    std::optional<QString> recognizedText;
    std::optional<QString> groundingText;

    static CardInspectorForm of(const CanvasCard &card);
    // Whether the parts below the editable fields (source, recognised text,
    // grounding) read the same: text recognised or a source named after the
    // form was built changes them.
    bool sameDetails(const CardInspectorForm &other) const;

    // The selected live cards, in the order of `cards`.
    static QList<CanvasCard *> selectedCards(const QList<CanvasCard *> &cards, const QSet<QUuid> &selectedIDs);
    // The selected cards' ids as text, sorted and joined: a change of the
    // selection is a change of this key.
    static QString selectionKey(const QList<CanvasCard *> &selectedCards);

    // Each keystroke is a write (not trimmed; a cleared title is empty, not
    // absent) stamped with `now`. Nothing is saved.
    static void writeTitle(CanvasCard &card, const QString &text, const QDateTime &now);
    static void writeContext(CanvasCard &card, const QString &text, const QDateTime &now);

    static QString capitalizedWords(const QString &text);
    static QString groundedText(qsizetype sourceCount);
    static QString multipleSelectionText(qsizetype count);
    static QString nothingSelectedTitle() { return QStringLiteral("Nothing selected"); }
    static QString nothingSelectedMessage() { return QStringLiteral("Select a card to inspect its context and source."); }
};

} // namespace tessaline
