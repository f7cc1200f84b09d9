#pragma once

#include "design/QuietSurfaces.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class CanvasCard;
class ModelContext;

// The sheet that joins two cards of a note with a directed connection and an
// optional label. It looks both cards up afresh each time, so a card moved to
// the trash while the sheet is open turns into its placeholder and Connect
// is no longer possible.
class ConnectionEditorModel : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    ConnectionEditorModel(ModelContext &context, const QUuid &sourceCardID, const QUuid &destinationCardID,
                          Clock now = {}, QObject *parent = nullptr);

    QUuid sourceCardID() const { return m_sourceCardID; }
    QUuid destinationCardID() const { return m_destinationCardID; }
    // The live card with that id, else none.
    CanvasCard *sourceCard() const;
    CanvasCard *destinationCard() const;

    // The chip's text: the card's title, else "First card" / "Second card".
    QString sourceChipText() const;
    QString destinationChipText() const;
    static QuietCardTone chipTone(const CanvasCard *card);

    QString label() const { return m_label; }
    void setLabel(const QString &label);

    bool canConnect() const;
    // Stores the connection with the label exactly as typed (an empty field
    // stores the empty string). True when stored: the sheet closes. On a
    // refusal or a failed save `errorMessage` says why and nothing is left
    // half-made.
    bool connectCards();

    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();

    static QString title() { return QStringLiteral("Connect cards"); }
    static QString labelPlaceholder() { return QStringLiteral("Relationship label (optional)"); }
    static QString labelHint() { return QStringLiteral("For example, supports, conflicts with, or leads to"); }
    static QString helpText()
    {
        return QStringLiteral("A connection can stay unlabeled when the spatial relationship is enough.");
    }
    static QString alertTitle() { return QStringLiteral("Couldn\u2019t connect cards"); }

Q_SIGNALS:
    void cardsChanged();
    void labelChanged();
    void errorMessageChanged();

private:
    CanvasCard *liveCard(const QUuid &id) const;

    QPointer<ModelContext> m_context;
    QUuid m_sourceCardID;
    QUuid m_destinationCardID;
    Clock m_now;
    QString m_label;
    std::optional<QString> m_errorMessage;
};

} // namespace tessaline
