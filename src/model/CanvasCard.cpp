#include "model/CanvasCard.h"

#include "model/ModelContext.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QSet>

namespace tessaline {

QString rawValue(CardKind kind)
{
    switch (kind) {
    case CardKind::snip: return QStringLiteral("snip");
    case CardKind::thought: return QStringLiteral("thought");
    case CardKind::ghost: return QStringLiteral("ghost");
    }
    return QStringLiteral("thought");
}

std::optional<CardKind> cardKindFromRawValue(const QString &raw)
{
    for (CardKind kind : {CardKind::snip, CardKind::thought, CardKind::ghost}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QString rawValue(ThoughtKind kind)
{
    switch (kind) {
    case ThoughtKind::thought: return QStringLiteral("thought");
    case ThoughtKind::question: return QStringLiteral("question");
    case ThoughtKind::decision: return QStringLiteral("decision");
    case ThoughtKind::nextStep: return QStringLiteral("nextStep");
    }
    return QStringLiteral("thought");
}

std::optional<ThoughtKind> thoughtKindFromRawValue(const QString &raw)
{
    for (ThoughtKind kind : allThoughtKinds()) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QString displayName(ThoughtKind kind)
{
    switch (kind) {
    case ThoughtKind::thought: return QStringLiteral("Thought");
    case ThoughtKind::question: return QStringLiteral("Question");
    case ThoughtKind::decision: return QStringLiteral("Decision");
    case ThoughtKind::nextStep: return QStringLiteral("Next Step");
    }
    return QString();
}

QList<ThoughtKind> allThoughtKinds()
{
    return {ThoughtKind::thought, ThoughtKind::question, ThoughtKind::decision, ThoughtKind::nextStep};
}

namespace {

// Spaces and tabs, but not the characters that break lines.
bool isInlineSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimmedInline(QStringView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isInlineSpace(line.at(begin)))
        ++begin;
    while (end > begin && isInlineSpace(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

// The title of a card with no text to draw one from.
QString untitled(CardKind kind)
{
    return kind == CardKind::snip ? QStringLiteral("Untitled Snip") : QStringLiteral("Untitled Thought");
}

// Characters of a title drawn from a card's text.
constexpr qsizetype titleLength = 80;

// A view into `text`: filters ask for it of every card at every key.
std::optional<QStringView> firstTextLine(QStringView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text.at(i)))
            continue;
        const QStringView line = trimmedInline(text.mid(start, i - start));
        if (!line.isEmpty())
            return line;
        start = i + 1;
    }
    return std::nullopt;
}

// Whether the title passes `holds`, a containment test: a line that fails
// it has no title that passes, and a line of eighty units or fewer is its
// own title, so a title is cut out only of a long line with a hit.
template<typename Holds>
bool displayTitleHolds(const CanvasCard::TitleSources &sources, Holds holds)
{
    if (sources.title) {
        const QString trimmed = trimmedWhitespace(*sources.title);
        if (!trimmed.isEmpty())
            return holds(trimmed);
    }
    for (const QString *text : {&sources.markdownText, &sources.contextText, &sources.ocrText}) {
        if (const auto line = firstTextLine(*text))
            return holds(*line) && (line->size() <= titleLength || holds(graphemePrefix(line->toString(), titleLength)));
    }
    return holds(untitled(sources.kind));
}

} // namespace

CanvasCard::CanvasCard(QObject *parent)
    : ValueEntity(parent)
{
    m_values.createdAt = storedDate(m_values.createdAt);
    m_values.updatedAt = storedDate(m_values.updatedAt);
}

CanvasCard::CanvasCard(const Init &init, QObject *parent)
    : ValueEntity(parent)
{
    Values &v = m_values;
    v.id = init.id;
    v.boardID = init.boardID;
    v.kindRawValue = PooledText::of(rawValue(init.kind));
    v.thoughtKindRawValue = PooledText::of(rawValue(init.thoughtKind));
    v.title = init.title;
    if (!init.markdownText.isEmpty() || !init.contextText.isEmpty() || !init.ocrText.isEmpty())
        v.texts = CardTexts{init.markdownText, init.contextText, init.ocrText};
    const std::optional<QByteArray> blobs[BlobCount] = {init.originalImageData, init.thumbnailImageData,
                                                        init.annotationDocumentData};
    for (int i = 0; i < BlobCount; ++i) {
        if (blobs[i])
            v.blobs = v.blobs.with(i, blobs[i]);
    }
    v.sourceApplicationName = init.sourceApplicationName;
    v.sourceBundleIdentifier = init.sourceBundleIdentifier;
    v.sourceWindowTitle = init.sourceWindowTitle;
    v.captureModeRawValue = init.captureModeRawValue;
    v.sourceURLString = init.sourceURLString;
    v.canvasX = init.canvasX;
    v.canvasY = init.canvasY;
    v.canvasWidth = init.canvasWidth;
    v.canvasHeight = init.canvasHeight;
    v.isPlaced = init.isPlaced;
    v.groupID = init.groupID;
    v.sourceCardIDsStorage = encodeSourceCardIDs(init.sourceCardIDs);
    v.isAIGenerated = init.isAIGenerated;
    v.createdAt = storedDate(init.createdAt);
    v.updatedAt = storedDate(init.updatedAt.value_or(init.createdAt));
    v.capturedAt = storedDate(init.capturedAt);
    v.lastResurfacedAt = storedDate(init.lastResurfacedAt);
    v.rediscoverDismissedUntil = storedDate(init.rediscoverDismissedUntil);
    v.deletedAt = storedDate(init.deletedAt);
}

void CanvasCard::setId(const QUuid &id) { write(m_values.id, id, IdProperty); }
void CanvasCard::setBoardID(const QUuid &id) { write(m_values.boardID, id, BoardIDProperty); }
void CanvasCard::setKindRawValue(const QString &raw) { write(m_values.kindRawValue, PooledText::of(raw), KindRawValueProperty); }
void CanvasCard::setThoughtKindRawValue(const QString &raw) { write(m_values.thoughtKindRawValue, PooledText::of(raw), ThoughtKindRawValueProperty); }
void CanvasCard::setTitle(const std::optional<QString> &title) { write(m_values.title, NullableText(title), TitleProperty); }
// A text written before the stored ones were read would be lost to them.
void CanvasCard::setMarkdownText(const QString &text)
{
    readTexts();
    CardTexts texts = *m_values.texts;
    texts.markdownText = text;
    write(m_values.texts, SharedRecordPart<CardTexts>(std::move(texts)), MarkdownTextProperty);
}

void CanvasCard::setContextText(const QString &text)
{
    readTexts();
    CardTexts texts = *m_values.texts;
    texts.contextText = text;
    write(m_values.texts, SharedRecordPart<CardTexts>(std::move(texts)), ContextTextProperty);
}

void CanvasCard::setOcrText(const QString &text)
{
    readTexts();
    CardTexts texts = *m_values.texts;
    texts.ocrText = text;
    write(m_values.texts, SharedRecordPart<CardTexts>(std::move(texts)), OcrTextProperty);
}
void CanvasCard::setSourceApplicationName(const std::optional<QString> &n) { write(m_values.sourceApplicationName, PooledText(n), SourceApplicationNameProperty); }
void CanvasCard::setSourceBundleIdentifier(const std::optional<QString> &i) { write(m_values.sourceBundleIdentifier, PooledText(i), SourceBundleIdentifierProperty); }
void CanvasCard::setSourceWindowTitle(const std::optional<QString> &t) { write(m_values.sourceWindowTitle, PooledText(t), SourceWindowTitleProperty); }
void CanvasCard::setCaptureModeRawValue(const std::optional<QString> &r) { write(m_values.captureModeRawValue, PooledText(r), CaptureModeRawValueProperty); }
void CanvasCard::setSourceURLString(const std::optional<QString> &u) { write(m_values.sourceURLString, NullableText(u), SourceURLStringProperty); }
void CanvasCard::setCanvasX(double x) { write(m_values.canvasX, x, CanvasXProperty); }
void CanvasCard::setCanvasY(double y) { write(m_values.canvasY, y, CanvasYProperty); }
void CanvasCard::setCanvasWidth(double w) { write(m_values.canvasWidth, w, CanvasWidthProperty); }
void CanvasCard::setCanvasHeight(double h) { write(m_values.canvasHeight, h, CanvasHeightProperty); }
void CanvasCard::setIsPlaced(bool placed) { write(m_values.isPlaced, placed, IsPlacedProperty); }
void CanvasCard::setGroupID(const std::optional<QUuid> &group) { write(m_values.groupID, group, GroupIDProperty); }
void CanvasCard::setSourceCardIDsStorage(const QString &s) { write(m_values.sourceCardIDsStorage, s, SourceCardIDsStorageProperty); }
void CanvasCard::setIsAIGenerated(bool generated) { write(m_values.isAIGenerated, generated, IsAIGeneratedProperty); }
void CanvasCard::setCreatedAt(const QDateTime &date) { write(m_values.createdAt, storedDate(date), CreatedAtProperty); }
void CanvasCard::setUpdatedAt(const QDateTime &date) { write(m_values.updatedAt, storedDate(date), UpdatedAtProperty); }
void CanvasCard::setCapturedAt(const std::optional<QDateTime> &d) { write(m_values.capturedAt, NullableDate(storedDate(d)), CapturedAtProperty); }
void CanvasCard::setLastResurfacedAt(const std::optional<QDateTime> &d) { write(m_values.lastResurfacedAt, NullableDate(storedDate(d)), LastResurfacedAtProperty); }
void CanvasCard::setRediscoverDismissedUntil(const std::optional<QDateTime> &d) { write(m_values.rediscoverDismissedUntil, NullableDate(storedDate(d)), RediscoverDismissedUntilProperty); }
void CanvasCard::setDeletedAt(const std::optional<QDateTime> &d) { write(m_values.deletedAt, NullableDate(storedDate(d)), DeletedAtProperty); }

std::optional<QByteArray> CanvasCard::blob(Blob which) const
{
    if (!m_values.blobs.has(which))
        return std::nullopt;
    if (const std::optional<QByteArray> &pending = m_values.blobs.pendingBytes(which))
        return pending;
    if (!modelContext())
        return std::nullopt;
    return modelContext()->loadBlob(this, which);
}

void CanvasCard::setBlob(Blob which, const std::optional<QByteArray> &data)
{
    static constexpr Property properties[BlobCount] = {OriginalImageDataProperty, ThumbnailImageDataProperty,
                                                       AnnotationDocumentDataProperty};
    write(m_values.blobs, m_values.blobs.with(which, data), properties[which]);
}

CardKind CanvasCard::kind() const
{
    const auto kind = cardKindFromRawValue(m_values.kindRawValue.text());
    return kind.value_or(CardKind::thought);
}

ThoughtKind CanvasCard::thoughtKind() const
{
    return thoughtKindFromRawValue(m_values.thoughtKindRawValue.text()).value_or(ThoughtKind::thought);
}

void CanvasCard::setThoughtKind(ThoughtKind kind)
{
    setThoughtKindRawValue(rawValue(kind));
    setUpdatedAt(QDateTime::currentDateTimeUtc());
}

QString CanvasCard::displayTitle() const
{
    return displayTitle(titleSources());
}

QString CanvasCard::displayTitle(const TitleSources &sources)
{
    if (sources.title) {
        const QString trimmed = trimmedWhitespace(*sources.title);
        if (!trimmed.isEmpty())
            return trimmed;
    }
    for (const QString *text : {&sources.markdownText, &sources.contextText, &sources.ocrText}) {
        if (const auto line = firstTextLine(*text))
            return graphemePrefix(line->toString(), titleLength);
    }
    return untitled(sources.kind);
}

CanvasCard::TitleSources CanvasCard::titleSources() const
{
    readTexts();
    const CardTexts &texts = *m_values.texts;
    return {m_values.title, texts.markdownText, texts.contextText, texts.ocrText, kind()};
}

bool CanvasCard::displayTitleContains(const QString &needle, Qt::CaseSensitivity sensitivity) const
{
    return displayTitleContains(titleSources(), needle, sensitivity);
}

bool CanvasCard::displayTitleContains(const TitleSources &sources, const QString &needle,
                                      Qt::CaseSensitivity sensitivity)
{
    return displayTitleHolds(sources, [&](QStringView text) { return text.contains(needle, sensitivity); });
}

bool CanvasCard::displayTitleContains(const TitleSources &sources, const CaseInsensitiveNeedle &needle)
{
    return displayTitleHolds(sources, [&](QStringView text) { return needle.isFoundIn(text); });
}

QString CanvasCard::combinedText() const
{
    readTexts();
    const CardTexts &texts = *m_values.texts;
    return combinedText(texts.markdownText, texts.contextText, texts.ocrText);
}

QString CanvasCard::combinedText(const QString &markdownText, const QString &contextText, const QString &ocrText)
{
    QStringList parts;
    for (const QString *text : {&markdownText, &contextText, &ocrText}) {
        const QString trimmed = trimmedWhitespace(*text);
        if (!trimmed.isEmpty())
            parts.append(trimmed);
    }
    return parts.join(QStringLiteral("\n\n"));
}

QList<QUuid> CanvasCard::sourceCardIDs() const
{
    QList<QUuid> ids;
    const auto pieces = QStringView(m_values.sourceCardIDsStorage).split(u'|', Qt::SkipEmptyParts);
    for (QStringView piece : pieces) {
        if (const auto id = parseUuid(piece))
            ids.append(*id);
    }
    return ids;
}

QString CanvasCard::encodeSourceCardIDs(const QList<QUuid> &ids)
{
    QSet<QUuid> seen;
    QStringList texts;
    for (const QUuid &id : ids) {
        if (seen.contains(id))
            continue;
        seen.insert(id);
        texts.append(uuidText(id));
    }
    return texts.join(u'|');
}

void CanvasCard::moveToTrash(const QDateTime &date)
{
    setDeletedAt(date);
    setUpdatedAt(date);
}

void CanvasCard::restoreFromTrash(const QDateTime &date)
{
    setDeletedAt(std::nullopt);
    setUpdatedAt(date);
}

void CanvasCard::removeFromCanvas(const QDateTime &date)
{
    setIsPlaced(false);
    setGroupID(std::nullopt);
    setUpdatedAt(date);
}

void CanvasCard::markSaved()
{
    // Saved bytes are read back from the store on demand, not kept in memory.
    m_values.blobs.pending = {};
    ValueEntity::markSaved();
}

std::any CanvasCard::pendingState() const
{
    // A state put back later must hold the texts as they are, not the
    // placeholders of texts not read yet.
    readTexts();
    return ValueEntity::pendingState();
}

void CanvasCard::readStoredTexts() const
{
    // Made mutable here only: the card itself is never a const object.
    if (ModelContext *context = modelContext())
        context->readCardTexts(const_cast<CanvasCard *>(this));
}

void CanvasCard::adoptStoredTexts(const QString &markdownText, const QString &contextText, const QString &ocrText)
{
    // Unread texts were never written, so a saved record kept apart holds
    // the same placeholders: both take the stored texts.
    SharedRecordPart<CardTexts> texts;
    if (!markdownText.isEmpty() || !contextText.isEmpty() || !ocrText.isEmpty())
        texts = CardTexts{markdownText, contextText, ocrText};
    for (Values *values : {&m_values, separateSavedValues()}) {
        if (values)
            values->texts = texts;
    }
    m_textsUnread = false;
}

} // namespace tessaline
