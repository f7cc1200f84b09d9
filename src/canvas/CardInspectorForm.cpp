#include "canvas/CardInspectorForm.h"

#include "platform/UuidText.h"

#include <algorithm>

namespace tessaline {

CardInspectorForm CardInspectorForm::of(const CanvasCard &card)
{
    CardInspectorForm form;
    form.title = card.title().value_or(QString());
    form.showsKind = card.kind() != CardKind::snip;
    form.kind = card.thoughtKind();
    form.context = card.contextText();
    if (const auto application = card.sourceApplicationName()) {
        form.showsSource = true;
        form.sourceRows.append({QStringLiteral("Application"), *application});
        if (const auto window = card.sourceWindowTitle(); window && !window->isEmpty())
            form.sourceRows.append({QStringLiteral("Window"), *window});
        if (const auto mode = card.captureModeRawValue())
            form.sourceRows.append({QStringLiteral("Capture"), capitalizedWords(*mode)});
        if (const auto bundle = card.sourceBundleIdentifier())
            form.technicalDetails = Row{QStringLiteral("Bundle"), *bundle};
    }
    if (!card.ocrText().isEmpty())
        form.recognizedText = card.ocrText();
    if (const qsizetype sources = card.sourceCardIDs().size(); sources > 0)
        form.groundingText = groundedText(sources);
    return form;
}

bool CardInspectorForm::sameDetails(const CardInspectorForm &other) const
{
    return showsSource == other.showsSource && sourceRows == other.sourceRows
        && technicalDetails == other.technicalDetails && recognizedText == other.recognizedText
        && groundingText == other.groundingText;
}

QList<CanvasCard *> CardInspectorForm::selectedCards(const QList<CanvasCard *> &cards, const QSet<QUuid> &selectedIDs)
{
    QList<CanvasCard *> selected;
    if (selectedIDs.isEmpty())
        return selected;
    for (CanvasCard *card : cards) {
        if (card->isLive() && selectedIDs.contains(card->id()))
            selected.append(card);
    }
    return selected;
}

QString CardInspectorForm::selectionKey(const QList<CanvasCard *> &selectedCards)
{
    QStringList ids;
    ids.reserve(selectedCards.size());
    for (const CanvasCard *card : selectedCards)
        ids.append(uuidText(card->id()));
    std::sort(ids.begin(), ids.end());
    return ids.join(u',');
}

void CardInspectorForm::writeTitle(CanvasCard &card, const QString &text, const QDateTime &now)
{
    card.setTitle(text);
    card.setUpdatedAt(now);
}

void CardInspectorForm::writeContext(CanvasCard &card, const QString &text, const QDateTime &now)
{
    card.setContextText(text);
    card.setUpdatedAt(now);
}

QString CardInspectorForm::capitalizedWords(const QString &text)
{
    QString result = text.toLower();
    bool wordStart = true;
    for (QChar &c : result) {
        if (c.isLetterOrNumber()) {
            if (wordStart)
                c = c.toUpper();
            wordStart = false;
        } else {
            wordStart = true;
        }
    }
    return result;
}

QString CardInspectorForm::groundedText(qsizetype sourceCount)
{
    return QStringLiteral("Grounded in ") + QString::number(sourceCount) +
        (sourceCount == 1 ? QStringLiteral(" card") : QStringLiteral(" cards"));
}

QString CardInspectorForm::multipleSelectionText(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" cards selected");
}

} // namespace tessaline
