#pragma once

#include <QByteArray>
#include <QClipboard>
#include <QString>
#include <QStringList>

#include <memory>

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
};

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

private:
    QClipboard::Mode m_mode;
    QStringList m_declared;
    std::unique_ptr<QMimeData> m_pending;
};

} // namespace tessaline
