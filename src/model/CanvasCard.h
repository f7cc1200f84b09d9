#pragma once

#include "model/ValueEntity.h"
#include "platform/TextPool.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSharedData>
#include <QString>
#include <QUuid>

#include <array>
#include <limits>
#include <optional>

namespace tessaline {

class CaseInsensitiveNeedle;

enum class CardKind { snip, thought, ghost };
QString rawValue(CardKind kind);
std::optional<CardKind> cardKindFromRawValue(const QString &rawValue);

enum class ThoughtKind { thought, question, decision, nextStep };
QString rawValue(ThoughtKind kind);
std::optional<ThoughtKind> thoughtKindFromRawValue(const QString &rawValue);
// "Thought", "Question", "Decision", "Next Step".
QString displayName(ThoughtKind kind);
// In the order pickers list them.
QList<ThoughtKind> allThoughtKinds();

// A part of a card's record that most cards leave empty or never read,
// held behind a shared pointer: an empty one costs a pointer, and the copies
// a record is made into (its saved twin, a change scope's state) share it.
// A library keeps one record per card, so its size counts fifty thousand
// times over. Compared by value.
template <typename T>
class SharedRecordPart
{
public:
    SharedRecordPart() = default;
    SharedRecordPart(T value) : m_node(new Node(std::move(value))) {}

    const T &operator*() const { return m_node ? m_node->value : empty(); }
    const T *operator->() const { return &**this; }

    friend bool operator==(const SharedRecordPart &a, const SharedRecordPart &b)
    {
        return a.m_node == b.m_node || *a == *b;
    }

private:
    // One pointer, where a shared_ptr would take two.
    struct Node : QSharedData
    {
        explicit Node(T v) : value(std::move(v)) {}
        const T value;
    };
    static const T &empty()
    {
        static const T value{};
        return value;
    }
    QExplicitlySharedDataPointer<Node> m_node;
};

// A text that may be absent, in the space of one text: absent is the null
// text, and a present text is never null (an empty one is the empty text).
class NullableText
{
public:
    NullableText() = default;
    NullableText(std::nullopt_t) {}
    NullableText(const std::optional<QString> &text)
        : m_text(!text ? QString() : text->isNull() ? QString::fromRawData(&kEmpty, 0) : *text)
    {
    }
    operator std::optional<QString>() const
    {
        if (m_text.isNull())
            return std::nullopt;
        return m_text;
    }
    bool has_value() const { return !m_text.isNull(); }

    // QString takes the null text as equal to the empty one.
    friend bool operator==(const NullableText &a, const NullableText &b)
    {
        return a.m_text.isNull() == b.m_text.isNull() && a.m_text == b.m_text;
    }

private:
    static constexpr QChar kEmpty{};
    QString m_text;
};

// A text that repeats across cards (a kind, a source application, a window
// title), from the process's pool, or none: one pointer (see TextPool).
// Equal texts are one pooled text, so comparing the pointers compares them.
class PooledText
{
public:
    PooledText() = default;
    PooledText(std::nullopt_t) {}
    explicit PooledText(const QString *pooled) : m_text(pooled) {}
    PooledText(const std::optional<QString> &text) : m_text(text ? TextPool::pooled(*text) : nullptr) {}
    static PooledText of(const QString &text) { return PooledText(TextPool::pooled(text)); }

    operator std::optional<QString>() const
    {
        if (!m_text)
            return std::nullopt;
        return *m_text;
    }
    // The null text when there is none.
    QString text() const { return m_text ? *m_text : QString(); }
    bool has_value() const { return m_text != nullptr; }
    bool equals(QStringView text) const { return m_text && *m_text == text; }

    friend bool operator==(const PooledText &, const PooledText &) = default;

private:
    const QString *m_text = nullptr;
};

// A date that may be absent, as its milliseconds since the epoch in UTC, the
// form and precision of the store: half an optional QDateTime.
class NullableDate
{
public:
    NullableDate() = default;
    NullableDate(std::nullopt_t) {}
    NullableDate(const std::optional<QDateTime> &date)
        : m_msecs(!date ? kAbsent : date->isValid() ? date->toMSecsSinceEpoch() : kInvalid)
    {
    }
    operator std::optional<QDateTime>() const
    {
        if (m_msecs == kAbsent)
            return std::nullopt;
        if (m_msecs == kInvalid)
            return QDateTime();
        return QDateTime::fromMSecsSinceEpoch(m_msecs, Qt::UTC);
    }
    bool has_value() const { return m_msecs != kAbsent; }
    // The date as QDateTime::toMSecsSinceEpoch() gives it, without making
    // one: sorting a large library reads it for every card.
    std::optional<qint64> msecsSinceEpoch() const
    {
        if (m_msecs == kAbsent)
            return std::nullopt;
        return m_msecs == kInvalid ? QDateTime().toMSecsSinceEpoch() : m_msecs;
    }
    // Orders as the optional dates compare: none first, then an invalid
    // date, then by time.
    qint64 orderKey() const { return m_msecs; }

    friend bool operator==(const NullableDate &, const NullableDate &) = default;

private:
    // Far before any date a QDateTime holds.
    static constexpr qint64 kAbsent = std::numeric_limits<qint64>::min();
    static constexpr qint64 kInvalid = kAbsent + 1;
    qint64 m_msecs = kAbsent;
};

// A card's long texts. Read from the store only when first asked for (see
// CanvasCard::readTexts): until then, and for a card without any, none are
// held.
struct CardTexts
{
    QString markdownText;
    QString contextText;
    QString ocrText;

    friend bool operator==(const CardTexts &, const CardTexts &) = default;
};

// The card's large byte values (image, thumbnail, annotation): whether each
// is present, and bytes written and not yet saved. The bytes live in the
// store and are read only when asked for, so listing every card never reads
// image data; written bytes are held until the next save.
struct CardBlobs
{
    bool has(int which) const { return present & (1u << which); }
    const std::optional<QByteArray> &pendingBytes(int which) const { return (*pending)[which]; }
    // The same with one value replaced (present when `data` is).
    CardBlobs with(int which, const std::optional<QByteArray> &data) const
    {
        CardBlobs changed = *this;
        changed.present = quint8(data ? present | (1u << which) : present & ~(1u << which));
        auto bytes = *pending;
        bytes[which] = data;
        changed.pending = std::move(bytes);
        return changed;
    }

    quint8 present = 0; // a bit per blob
    SharedRecordPart<std::array<std::optional<QByteArray>, 3>> pending;

    friend bool operator==(const CardBlobs &, const CardBlobs &) = default;
};

// The stored properties of a card, nearly in schema order, with their
// defaults; laid out small, as a large library holds one per card.
struct CanvasCardValues
{
    CanvasCardValues() = default;
    // Every member empty, for a row about to be read: no identifier drawn,
    // no clock read, only to be replaced.
    explicit CanvasCardValues(StoredRow)
        : id(), boardID(), kindRawValue(), thoughtKindRawValue(), createdAt(), updatedAt()
    {
    }

    QUuid id = QUuid::createUuid();
    QUuid boardID = QUuid::createUuid();
    PooledText kindRawValue = PooledText::of(QStringLiteral("thought"));
    PooledText thoughtKindRawValue = PooledText::of(QStringLiteral("thought"));
    NullableText title;
    SharedRecordPart<CardTexts> texts;
    PooledText sourceApplicationName;
    PooledText sourceBundleIdentifier;
    PooledText sourceWindowTitle;
    PooledText captureModeRawValue;
    NullableText sourceURLString;
    CardBlobs blobs; // original image, thumbnail, annotation document
    double canvasX = 0;
    double canvasY = 0;
    double canvasWidth = 320;
    double canvasHeight = 220;
    std::optional<QUuid> groupID;
    bool isPlaced = false;
    bool isAIGenerated = false;
    QString sourceCardIDsStorage;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    QDateTime updatedAt = QDateTime::currentDateTimeUtc();
    NullableDate capturedAt;
    NullableDate lastResurfacedAt;
    NullableDate rediscoverDismissedUntil;
    NullableDate deletedAt;
    // Not stored: properties whose stored number could not be read as one
    // (text, NaN, an infinity, far out of range, a size of zero or less), one
    // bit per CanvasCard::Property. Those hold a stand-in here (a position on
    // the map's first slot, the default size), and the stored value is left
    // as it is until the property is set (the user moves or resizes the card).
    quint32 damagedProperties = 0;

    friend bool operator==(const CanvasCardValues &, const CanvasCardValues &) = default;
};

// A card of a note: a snip (a captured image with its source, recognised text,
// caption and annotations) or a thought. Belongs to one note through
// `boardID`; soft-deleted through `deletedAt`.
class CanvasCard : public ValueEntity<CanvasCardValues, 30>
{
    Q_OBJECT
public:
    // The most of a card's text a screen lays out, and the most a thought
    // kept from the assistant holds: laying out megabytes of text held the
    // window for tens of seconds. A longer text kept from before stays as
    // stored; only its start is shown.
    static constexpr qsizetype maximumShownTextLength = 20'000;

    enum Property {
        IdProperty,
        BoardIDProperty,
        KindRawValueProperty,
        ThoughtKindRawValueProperty,
        TitleProperty,
        MarkdownTextProperty,
        ContextTextProperty,
        OcrTextProperty,
        SourceApplicationNameProperty,
        SourceBundleIdentifierProperty,
        SourceWindowTitleProperty,
        CaptureModeRawValueProperty,
        SourceURLStringProperty,
        OriginalImageDataProperty,
        ThumbnailImageDataProperty,
        AnnotationDocumentDataProperty,
        CanvasXProperty,
        CanvasYProperty,
        CanvasWidthProperty,
        CanvasHeightProperty,
        IsPlacedProperty,
        GroupIDProperty,
        SourceCardIDsStorageProperty,
        IsAIGeneratedProperty,
        CreatedAtProperty,
        UpdatedAtProperty,
        CapturedAtProperty,
        LastResurfacedAtProperty,
        RediscoverDismissedUntilProperty,
        DeletedAtProperty,
        PropertyCount
    };
    Q_ENUM(Property)

    enum Blob { OriginalImageBlob, ThumbnailImageBlob, AnnotationDocumentBlob, BlobCount };

    using Values = CanvasCardValues;

    // What creators pass, in the order the card's initializer takes them.
    struct Init
    {
        QUuid id = QUuid::createUuid();
        QUuid boardID;
        CardKind kind = CardKind::thought;
        ThoughtKind thoughtKind = ThoughtKind::thought;
        std::optional<QString> title;
        QString markdownText;
        QString contextText;
        QString ocrText;
        std::optional<QByteArray> originalImageData;
        std::optional<QByteArray> thumbnailImageData;
        std::optional<QByteArray> annotationDocumentData;
        std::optional<QString> sourceApplicationName;
        std::optional<QString> sourceBundleIdentifier;
        std::optional<QString> sourceWindowTitle;
        std::optional<QString> captureModeRawValue;
        std::optional<QString> sourceURLString;
        double canvasX = 0;
        double canvasY = 0;
        double canvasWidth = 320;
        double canvasHeight = 220;
        bool isPlaced = false;
        std::optional<QUuid> groupID;
        QList<QUuid> sourceCardIDs;
        bool isAIGenerated = false;
        QDateTime createdAt;
        std::optional<QDateTime> updatedAt; // createdAt when absent
        std::optional<QDateTime> capturedAt;
        std::optional<QDateTime> lastResurfacedAt;
        std::optional<QDateTime> rediscoverDismissedUntil;
        std::optional<QDateTime> deletedAt;
    };

    explicit CanvasCard(QObject *parent = nullptr);
    explicit CanvasCard(const Init &init, QObject *parent = nullptr);

    // Every stored value, the long texts read first when they are not yet.
    const Values &values() const
    {
        readTexts();
        return m_values;
    }

    QUuid id() const { return m_values.id; }
    void setId(const QUuid &id);
    QUuid boardID() const { return m_values.boardID; }
    void setBoardID(const QUuid &id);
    QString kindRawValue() const { return m_values.kindRawValue.text(); }
    void setKindRawValue(const QString &raw);
    QString thoughtKindRawValue() const { return m_values.thoughtKindRawValue.text(); }
    void setThoughtKindRawValue(const QString &raw);
    std::optional<QString> title() const { return m_values.title; }
    void setTitle(const std::optional<QString> &title);
    QString markdownText() const { readTexts(); return m_values.texts->markdownText; }
    void setMarkdownText(const QString &text);
    QString contextText() const { readTexts(); return m_values.texts->contextText; }
    void setContextText(const QString &text);
    QString ocrText() const { readTexts(); return m_values.texts->ocrText; }
    void setOcrText(const QString &text);
    std::optional<QString> sourceApplicationName() const { return m_values.sourceApplicationName; }
    void setSourceApplicationName(const std::optional<QString> &name);
    std::optional<QString> sourceBundleIdentifier() const { return m_values.sourceBundleIdentifier; }
    void setSourceBundleIdentifier(const std::optional<QString> &identifier);
    std::optional<QString> sourceWindowTitle() const { return m_values.sourceWindowTitle; }
    void setSourceWindowTitle(const std::optional<QString> &title);
    std::optional<QString> captureModeRawValue() const { return m_values.captureModeRawValue; }
    void setCaptureModeRawValue(const std::optional<QString> &raw);
    std::optional<QString> sourceURLString() const { return m_values.sourceURLString; }
    void setSourceURLString(const std::optional<QString> &url);

    // Reading these may read the store; prefer the has… checks for presence.
    std::optional<QByteArray> originalImageData() const { return blob(OriginalImageBlob); }
    void setOriginalImageData(const std::optional<QByteArray> &data) { setBlob(OriginalImageBlob, data); }
    bool hasOriginalImageData() const { return m_values.blobs.has(OriginalImageBlob); }
    std::optional<QByteArray> thumbnailImageData() const { return blob(ThumbnailImageBlob); }
    void setThumbnailImageData(const std::optional<QByteArray> &data) { setBlob(ThumbnailImageBlob, data); }
    bool hasThumbnailImageData() const { return m_values.blobs.has(ThumbnailImageBlob); }
    std::optional<QByteArray> annotationDocumentData() const { return blob(AnnotationDocumentBlob); }
    void setAnnotationDocumentData(const std::optional<QByteArray> &data) { setBlob(AnnotationDocumentBlob, data); }
    bool hasAnnotationDocumentData() const { return m_values.blobs.has(AnnotationDocumentBlob); }

    double canvasX() const { return m_values.canvasX; }
    void setCanvasX(double x);
    double canvasY() const { return m_values.canvasY; }
    void setCanvasY(double y);
    double canvasWidth() const { return m_values.canvasWidth; }
    void setCanvasWidth(double width);
    double canvasHeight() const { return m_values.canvasHeight; }
    void setCanvasHeight(double height);
    bool isPlaced() const { return m_values.isPlaced; }
    void setIsPlaced(bool placed);
    std::optional<QUuid> groupID() const { return m_values.groupID; }
    void setGroupID(const std::optional<QUuid> &group);
    QString sourceCardIDsStorage() const { return m_values.sourceCardIDsStorage; }
    void setSourceCardIDsStorage(const QString &storage);
    bool isAIGenerated() const { return m_values.isAIGenerated; }
    void setIsAIGenerated(bool generated);
    QDateTime createdAt() const { return m_values.createdAt; }
    void setCreatedAt(const QDateTime &date);
    QDateTime updatedAt() const { return m_values.updatedAt; }
    void setUpdatedAt(const QDateTime &date);
    std::optional<QDateTime> capturedAt() const { return m_values.capturedAt; }
    std::optional<qint64> capturedAtMSecs() const { return m_values.capturedAt.msecsSinceEpoch(); }
    void setCapturedAt(const std::optional<QDateTime> &date);
    std::optional<QDateTime> lastResurfacedAt() const { return m_values.lastResurfacedAt; }
    void setLastResurfacedAt(const std::optional<QDateTime> &date);
    std::optional<QDateTime> rediscoverDismissedUntil() const { return m_values.rediscoverDismissedUntil; }
    void setRediscoverDismissedUntil(const std::optional<QDateTime> &date);
    std::optional<QDateTime> deletedAt() const { return m_values.deletedAt; }
    qint64 deletedAtOrderKey() const { return m_values.deletedAt.orderKey(); }
    void setDeletedAt(const std::optional<QDateTime> &date);

    bool isLive() const { return !m_values.deletedAt.has_value(); }
    // Exactly "snip"; an unrecognised kind is not a snip.
    bool isSnip() const { return m_values.kindRawValue.equals(u"snip"); }

    CardKind kind() const;
    ThoughtKind thoughtKind() const;
    // Stamps `updatedAt` with the current time itself.
    void setThoughtKind(ThoughtKind kind);
    QString displayTitle() const;
    // What the display title is made of: a card's own values copied out
    // (the texts are shared, not duplicated) so that they can be read on
    // another thread, or ones read elsewhere.
    struct TitleSources
    {
        std::optional<QString> title;
        QString markdownText;
        QString contextText;
        QString ocrText;
        CardKind kind = CardKind::thought;
    };
    TitleSources titleSources() const;
    static QString displayTitle(const TitleSources &sources);
    // Whether `displayTitle()` holds `needle`, without cutting a title out of
    // a text that does not hold it anywhere: the test a filter makes of
    // every card on every key.
    bool displayTitleContains(const QString &needle, Qt::CaseSensitivity sensitivity) const;
    static bool displayTitleContains(const TitleSources &sources, const QString &needle,
                                     Qt::CaseSensitivity sensitivity);
    static bool displayTitleContains(const TitleSources &sources, const CaseInsensitiveNeedle &needle);
    // The store row of a card whose long texts are not read yet, for a
    // reader of the library file beside this context (on another thread);
    // 0 once they are read, as they may differ from the stored ones then.
    qint64 unreadTextsRow() const { return m_textsUnread ? storedRow() : 0; }
    QString combinedText() const;
    static QString combinedText(const QString &markdownText, const QString &contextText, const QString &ocrText);
    QList<QUuid> sourceCardIDs() const;
    static QString encodeSourceCardIDs(const QList<QUuid> &ids);

    void moveToTrash(const QDateTime &date);
    void restoreFromTrash(const QDateTime &date);
    void removeFromCanvas(const QDateTime &date);

protected:
    void markSaved() override;
    std::any pendingState() const override;

private:
    friend class ModelContext;
    CanvasCard(StoredRow row, Values &&stored, QObject *parent)
        : ValueEntity(row, std::move(stored), parent)
    {
    }
    // The long texts (markdown, context, recognised text) of a card read
    // from the store are read from it when first asked for: start-up reads
    // every card, and most are never looked at in a session. Until then
    // they are empty in both the values and the saved values.
    void readTexts() const
    {
        if (m_textsUnread)
            readStoredTexts();
    }
    void readStoredTexts() const;
    void adoptStoredTexts(const QString &markdownText, const QString &contextText, const QString &ocrText);
    bool m_textsUnread = false;
    std::optional<QByteArray> blob(Blob which) const;
    void setBlob(Blob which, const std::optional<QByteArray> &data);
};

static_assert(CanvasCard::PropertyCount == 30, "the record and the property list must agree");
static_assert(CanvasCard::BlobCount == std::tuple_size_v<std::array<std::optional<QByteArray>, 3>>);

// Calls visit(at, card) for each card from `from` on, in order. A large
// library's cards lie far apart in memory and a walk looks at each only
// briefly: the fields walks read (id, note, kind, dates) are asked for some
// cards ahead, so that their fetches overlap instead of waiting one after
// another.
template<typename Visit>
void walkCards(const QList<CanvasCard *> &cards, qsizetype from, Visit &&visit)
{
    constexpr qsizetype ahead = 8;
    const auto prefetch = [](const CanvasCard *card) {
        const CanvasCardValues &values = static_cast<const ValueEntity<CanvasCardValues, 30> &>(*card).values();
        __builtin_prefetch(&values.id);
        __builtin_prefetch(&values.boardID);
        __builtin_prefetch(&values.kindRawValue);
        __builtin_prefetch(&values.updatedAt);
        __builtin_prefetch(&values.deletedAt);
    };
    const qsizetype size = cards.size();
    for (qsizetype at = from; at < std::min(from + ahead, size); ++at)
        prefetch(cards.at(at));
    for (qsizetype at = from; at < size; ++at) {
        if (at + ahead < size)
            prefetch(cards.at(at + ahead));
        visit(at, cards.at(at));
    }
}

} // namespace tessaline
