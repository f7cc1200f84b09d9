#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QSize>

#include <optional>

namespace tessaline {

// The PNG of a picture, begun before anybody asked for it, with
// encodePng's default options: a grab encodes its picture while the rest of
// it arrives (ArrivingPngEncoding), a region is encoded as soon as its
// selection ends. It travels beside the picture it was made of and stands
// for that very picture alone: a crop, a scaled copy or the picture once
// written to is another picture, and is encoded afresh.
class EarlyPng
{
public:
    EarlyPng(const QImage &picture, QFuture<std::optional<QByteArray>> encoding);
    // Begins the PNG of a picture that is complete already (a region as
    // its selection ends) on the background pool.
    static EarlyPng begin(const QImage &picture);

    // Whether `image` is still the picture encoded: a copy shares its key
    // and pixels until either is written to.
    bool encodes(const QImage &image) const;
    // The file, waited for while it is still being made; none when it could
    // not be made.
    std::optional<QByteArray> result() const;

private:
    qint64 m_cacheKey = 0;
    const uchar *m_bits = nullptr;
    QSize m_size;
    QImage::Format m_format = QImage::Format_Invalid;
    QFuture<std::optional<QByteArray>> m_encoding;
};

} // namespace tessaline
