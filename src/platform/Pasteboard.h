#pragma once

#include <QByteArray>
#include <QClipboard>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QImage;
class QMimeData;

namespace tessaline {

// The system clipboard as the export code sees it: clear it, declare the
// types of one entry, then hand over each type's bytes. Tests use a fake.
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;

    virtual void clearContents() = 0;
    // Starts a new entry with these types, in this order of preference.
    virtual void declareTypes(const QStringList &types) = 0;
    // True when the bytes now stand on the clipboard under that type.
    virtual bool setData(const QByteArray &data, const QString &type) = 0;

    // One image entry from its PNG bytes, offered as PNG then TIFF. Here
    // the TIFF is made up front and both are written through the calls
    // above; the desktop clipboard makes it only when a client asks. True
    // when the entry stands; when a write fails no half entry remains.
    virtual bool setImage(const QByteArray &png);

    // Where an image entry's PNG is read from when a client pastes it; none
    // when the picture is gone by then. Called on this thread.
    using PngSource = std::function<std::optional<QByteArray>()>;
    // An image entry like setImage's, whose PNG is read only when a client
    // asks for it, so the entry holds none of its bytes (17 MB for a 5K
    // capture) until then. Here it is read at once and written through
    // setImage.
    virtual bool setImageSource(PngSource source);
    // Makes an entry of setImageSource's hold its bytes from now on: its
    // source is about to go (the app ending, when a clipboard manager may
    // still take the entry over). Nothing for any other entry.
    virtual void holdImageSourceBytes() {}

    // Writes an entry of both types already encoded; on a failed write the
    // pasteboard is cleared.
    bool writeImage(const QByteArray &png, const QByteArray &tiff);

    // Whether a write that no input of the user's asked for would stand. A
    // Wayland compositor takes an entry only from a client whose last input
    // is newer than the entry it holds, and ignores the others without a
    // word.
    virtual bool acceptsUnpromptedWrites() const { return true; }

    static QString pngType() { return QStringLiteral("image/png"); }
    static QString tiffType() { return QStringLiteral("image/tiff"); }
};

// Nothing for a null image or a failed encoding. May run on any thread.
std::optional<QByteArray> encodeTiff(const QImage &image);

// The desktop clipboard through QClipboard. The declared entry is published
// as one QMimeData once every declared type has its bytes, so other
// applications never see a partial entry.
class ClipboardPasteboard final : public Pasteboard
{
public:
    explicit ClipboardPasteboard(QClipboard::Mode mode = QClipboard::Clipboard);
    ~ClipboardPasteboard() override;

    // The general clipboard of the running application.
    static ClipboardPasteboard &general();

    void clearContents() override;
    void declareTypes(const QStringList &types) override;
    bool setData(const QByteArray &data, const QString &type) override;
    bool setImage(const QByteArray &png) override;
    bool setImageSource(PngSource source) override;
    void holdImageSourceBytes() override;
    // Under Wayland, only while one of our windows has the keyboard and
    // the user has pressed a key or button in them since they got it;
    // through XWayland, only while one of them has the keyboard.
    bool acceptsUnpromptedWrites() const override;

private:
    class InputWatch;

    // Whether an entry written now reaches the desktop's clipboard: a
    // write that would not is refused, so no copy is reported that other
    // apps cannot paste.
    bool reachesDesktop() const;

    QClipboard::Mode m_mode;
    std::unique_ptr<InputWatch> m_inputWatch;
    QStringList m_declared;
    std::unique_ptr<QMimeData> m_pending;
    // The image entry this pasteboard last handed the clipboard, until the
    // clipboard deletes it (replaced, cleared, or taken by another client).
    QPointer<QMimeData> m_lastImage;
};

} // namespace tessaline
