#include "platform/Pasteboard.h"

#include <QGuiApplication>
#include <QMimeData>

namespace tessaline {

ClipboardPasteboard::ClipboardPasteboard(QClipboard::Mode mode) : m_mode(mode) {}

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
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->clear(m_mode);
}

void ClipboardPasteboard::declareTypes(const QStringList &types)
{
    m_declared = types;
    m_pending = std::make_unique<QMimeData>();
}

bool ClipboardPasteboard::setData(const QByteArray &data, const QString &type)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || !m_pending || !m_declared.contains(type) || data.isEmpty())
        return false;
    m_pending->setData(type, data);
    for (const QString &declared : std::as_const(m_declared)) {
        if (!m_pending->hasFormat(declared))
            return true; // held until the entry is complete
    }
    // QMimeData keeps formats in insertion order, which is the order offered.
    clipboard->setMimeData(m_pending.release(), m_mode);
    const QMimeData *published = clipboard->mimeData(m_mode);
    if (!published)
        return false;
    for (const QString &declared : std::as_const(m_declared)) {
        if (!published->hasFormat(declared))
            return false;
    }
    return published->data(type) == data;
}

} // namespace tessaline
