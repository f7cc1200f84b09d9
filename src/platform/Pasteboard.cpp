#include "platform/Pasteboard.h"

#include "platform/BackgroundPool.h"
#include "platform/WindowSystem.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QPointer>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

namespace {

// An image entry that holds only its PNG, or not even that: one with a
// source reads it when a client asks (a paste), so a capture copied on its
// way into the library costs no memory while it stands. A 5K TIFF takes a
// tenth of a second to encode and is rarely asked for, so it is made on the
// first request; an entry that holds its PNG keeps it for the next, one
// that reads its PNG keeps neither (the TIFF of a 5K picture is 56 MB).
class LazyImageMimeData final : public QMimeData
{
public:
    explicit LazyImageMimeData(QByteArray png) : m_png(std::move(png)) {}
    explicit LazyImageMimeData(Pasteboard::PngSource source) : m_source(std::move(source)) {}

    QStringList formats() const override { return {Pasteboard::pngType(), Pasteboard::tiffType()}; }
    bool hasFormat(const QString &mimeType) const override { return formats().contains(mimeType); }

    // From now on the entry holds its bytes and no longer needs its source.
    void holdBytes()
    {
        if (!m_source)
            return;
        m_png = m_source().value_or(QByteArray());
        m_source = nullptr;
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        Q_UNUSED(type);
        if (mimeType != Pasteboard::pngType() && mimeType != Pasteboard::tiffType())
            return {};
        const QByteArray png = m_source ? m_source().value_or(QByteArray()) : m_png;
        if (png.isEmpty())
            return {};
        if (mimeType == Pasteboard::pngType())
            return png;
        if (m_source) {
            const std::optional<QByteArray> tiff = encodeTiff(QImage::fromData(png, "PNG"));
            return tiff ? QVariant(*tiff) : QVariant();
        }
        if (!m_tiff) {
            const std::optional<QByteArray> tiff = encodeTiff(QImage::fromData(png, "PNG"));
            m_tiff = tiff.value_or(QByteArray());
        }
        return m_tiff->isEmpty() ? QVariant() : QVariant(*m_tiff);
    }

public:
    // Shares of the entry's bytes, so they can outlive the entry.
    QList<QByteArray> heldBytes() const { return {m_png, m_tiff.value_or(QByteArray())}; }

private:
    QByteArray m_png;
    Pasteboard::PngSource m_source;
    mutable std::optional<QByteArray> m_tiff;
};

// Our own image entry on the clipboard, if it stands there. Only our own
// entry can be one; asking for another client's costs a round trip to the
// display server, and under X11 so does asking for our own.
LazyImageMimeData *ownImageEntry(QClipboard &clipboard, QClipboard::Mode mode)
{
    const bool ours = mode == QClipboard::Clipboard ? clipboard.ownsClipboard()
                      : mode == QClipboard::Selection ? clipboard.ownsSelection()
                                                      : clipboard.ownsFindBuffer();
    // The clipboard hands back the very entry it was given while it is ours.
    return ours ? dynamic_cast<LazyImageMimeData *>(const_cast<QMimeData *>(clipboard.mimeData(mode))) : nullptr;
}

// The clipboard deletes the entry it replaces or clears, and the one it
// loses to another client; freeing a 5K capture's bytes takes the main
// thread several milliseconds. Made just before our last image entry goes,
// this keeps shares of its bytes and, once gone, drops the last of them on
// a worker instead.
class OutgoingEntry
{
public:
    explicit OutgoingEntry(const QPointer<QMimeData> &last)
    {
        if (const auto *entry = dynamic_cast<const LazyImageMimeData *>(last.data()))
            m_bytes = entry->heldBytes();
    }
    ~OutgoingEntry()
    {
        if (!m_bytes.isEmpty())
            (void)QtConcurrent::run(&backgroundPool(), [bytes = std::move(m_bytes)]() mutable { bytes.clear(); });
    }
    OutgoingEntry(const OutgoingEntry &) = delete;
    OutgoingEntry &operator=(const OutgoingEntry &) = delete;

private:
    QList<QByteArray> m_bytes;
};

} // namespace

std::optional<QByteArray> encodeTiff(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

bool Pasteboard::writeImage(const QByteArray &png, const QByteArray &tiff)
{
    clearContents();
    declareTypes({pngType(), tiffType()});
    const bool wrotePng = setData(png, pngType());
    const bool wroteTiff = setData(tiff, tiffType());
    if (wrotePng && wroteTiff)
        return true;
    clearContents();
    return false;
}

bool Pasteboard::setImage(const QByteArray &png)
{
    const std::optional<QByteArray> tiff = encodeTiff(QImage::fromData(png, "PNG"));
    return tiff && writeImage(png, *tiff);
}

bool Pasteboard::setImageSource(PngSource source)
{
    const std::optional<QByteArray> png = source ? source() : std::nullopt;
    return png && setImage(*png);
}

// Whether the user has pressed a key or button in our windows since the
// keyboard last came to them: each such press carries the serial number a
// Wayland compositor asks a new clipboard entry to show; the keyboard's
// arrival alone gives Qt none it uses.
class ClipboardPasteboard::InputWatch : public QObject
{
public:
    InputWatch()
    {
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return;
        qGuiApp->installEventFilter(this);
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
            if (!window)
                m_pressedSinceFocus = false;
        });
    }

    bool pressedSinceFocus() const { return m_pressedSinceFocus; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            if (qobject_cast<QWindow *>(watched))
                m_pressedSinceFocus = true;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_pressedSinceFocus = false;
};

ClipboardPasteboard::ClipboardPasteboard(QClipboard::Mode mode)
    : m_mode(mode)
    , m_inputWatch(std::make_unique<InputWatch>())
{
}

ClipboardPasteboard::~ClipboardPasteboard() = default;

ClipboardPasteboard &ClipboardPasteboard::general()
{
    static ClipboardPasteboard pasteboard(QClipboard::Clipboard);
    return pasteboard;
}

void ClipboardPasteboard::clearContents()
{
    m_declared.clear();
    m_pending.reset();
    if (QClipboard *clipboard = QGuiApplication::clipboard()) {
        const OutgoingEntry outgoing(m_lastImage);
        clipboard->clear(m_mode);
    }
}

void ClipboardPasteboard::declareTypes(const QStringList &types)
{
    m_declared = types;
    m_pending = std::make_unique<QMimeData>();
}

bool ClipboardPasteboard::setData(const QByteArray &data, const QString &type)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || !m_pending || !m_declared.contains(type) || data.isEmpty() || !reachesDesktop())
        return false;
    m_pending->setData(type, data);
    for (const QString &declared : std::as_const(m_declared)) {
        if (!m_pending->hasFormat(declared))
            return true; // held until the entry is complete
    }
    // QMimeData keeps formats in insertion order, which is the order offered.
    {
        const OutgoingEntry outgoing(m_lastImage);
        clipboard->setMimeData(m_pending.release(), m_mode);
        m_lastImage = nullptr;
    }
    const QMimeData *published = clipboard->mimeData(m_mode);
    if (!published)
        return false;
    for (const QString &declared : std::as_const(m_declared)) {
        if (!published->hasFormat(declared))
            return false;
    }
    return published->data(type) == data;
}

bool ClipboardPasteboard::acceptsUnpromptedWrites() const
{
    // Qt reads back its own copy of the entry, so only the compositor
    // knows whether it took it; with the keyboard ours, our last input is
    // the newest it gave anyone.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return reachesDesktop();
    return QGuiApplication::focusWindow() != nullptr && m_inputWatch->pressedSinceFocus();
}

bool ClipboardPasteboard::reachesDesktop() const
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !WindowSystem::isWaylandSession())
        return true;
    // Through XWayland the compositor hands an X11 client's entry on to the
    // desktop only while an X11 window has the keyboard, and otherwise
    // leaves it in XWayland's clipboard, where no other app sees it.
    return QGuiApplication::focusWindow() != nullptr;
}

bool ClipboardPasteboard::setImage(const QByteArray &png)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    // Only the signature is checked: decoding would cost what laziness saves.
    static const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);
    if (!clipboard || !png.startsWith(pngSignature) || !reachesDesktop())
        return false;
    m_declared.clear();
    m_pending.reset();
    {
        const OutgoingEntry outgoing(m_lastImage);
        auto *entry = new LazyImageMimeData(png);
        m_lastImage = entry;
        clipboard->setMimeData(entry, m_mode);
    }
    // Asking for the PNG costs nothing; the TIFF is left for a client.
    const QMimeData *published = clipboard->mimeData(m_mode);
    if (!published || !published->hasFormat(tiffType()))
        return false;
    // Our own entry hands back the very bytes: comparing 17 MB of a 5K
    // capture would hold the main thread for nothing.
    const QByteArray back = published->data(pngType());
    return back.isSharedWith(png) || back == png;
}

bool ClipboardPasteboard::setImageSource(PngSource source)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || !source || !reachesDesktop())
        return false;
    m_declared.clear();
    m_pending.reset();
    {
        const OutgoingEntry outgoing(m_lastImage);
        auto *entry = new LazyImageMimeData(std::move(source));
        m_lastImage = entry;
        clipboard->setMimeData(entry, m_mode);
    }
    // Asking for the PNG would read the picture for nothing: that the entry
    // stands is all there is to check.
    return ownImageEntry(*clipboard, m_mode) != nullptr;
}

void ClipboardPasteboard::holdImageSourceBytes()
{
    if (auto *entry = dynamic_cast<LazyImageMimeData *>(m_lastImage.data()))
        entry->holdBytes();
}

} // namespace tessaline
