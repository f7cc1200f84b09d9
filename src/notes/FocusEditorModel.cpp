#include "notes/FocusEditorModel.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipPictureReading.h"
#include "model/ModelContext.h"

namespace tessaline {

FocusEditorModel::FocusEditorModel(LibraryQuery &library, NavigationState &navigation, const QUuid &cardID,
                                   QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_cardID(cardID)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    connect(&library, &LibraryQuery::changed, this, &FocusEditorModel::changed);
    if (const CanvasCard *opened = card(); opened && opened->isSnip())
        loadPicture(*opened);
}

void FocusEditorModel::loadPicture(const CanvasCard &card)
{
    m_isPictureLoading = true;
    readSnipPicture(this, card, SnipPictureDrawing::original).then(this, [this](const SnipPictureResult &picture) {
        m_isPictureLoading = false;
        m_picture = picture ? *picture : QImage();
        Q_EMIT pictureLoaded();
    });
}

CanvasCard *FocusEditorModel::card() const
{
    for (CanvasCard *card : m_library.cardsWithID(m_cardID)) {
        if (!card->deletedAt())
            return card;
    }
    return nullptr;
}

QString FocusEditorModel::symbolName(ThoughtKind kind)
{
    switch (kind) {
    case ThoughtKind::thought:
        return QStringLiteral("text.bubble");
    case ThoughtKind::question:
        return QStringLiteral("questionmark.circle");
    case ThoughtKind::decision:
        return QStringLiteral("checkmark.seal");
    case ThoughtKind::nextStep:
        return QStringLiteral("arrow.right.circle");
    }
    return QStringLiteral("text.bubble");
}

QString FocusEditorModel::symbolName(const CanvasCard &card)
{
    return card.isSnip() ? QStringLiteral("viewfinder") : symbolName(card.thoughtKind());
}

void FocusEditorModel::stamp(CanvasCard *card)
{
    card->setUpdatedAt(m_clock());
    Q_EMIT changed();
}

void FocusEditorModel::setTitle(const QString &title)
{
    if (CanvasCard *edited = card()) {
        edited->setTitle(title);
        stamp(edited);
    }
}

void FocusEditorModel::setThoughtKind(ThoughtKind kind)
{
    if (CanvasCard *edited = card()) {
        edited->setThoughtKindRawValue(rawValue(kind));
        stamp(edited);
    }
}

void FocusEditorModel::setMarkdownText(const QString &text)
{
    if (CanvasCard *edited = card()) {
        edited->setMarkdownText(text);
        stamp(edited);
    }
}

void FocusEditorModel::setContextText(const QString &text)
{
    if (CanvasCard *edited = card()) {
        edited->setContextText(text);
        stamp(edited);
    }
}

void FocusEditorModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();
}

bool FocusEditorModel::done()
{
    if (CanvasCard *edited = card())
        edited->setUpdatedAt(m_clock());
    const auto saved = m_library.context().save();
    if (!saved) {
        m_errorMessage = saved.error().message;
        Q_EMIT changed();
        return false;
    }
    m_navigation.setFocusedCardID(std::nullopt);
    Q_EMIT dismissRequested();
    return true;
}

void FocusEditorModel::close()
{
    m_navigation.setFocusedCardID(std::nullopt);
    Q_EMIT dismissRequested();
}

} // namespace tessaline
