#include "platform/EarlyPng.h"

#include "platform/BackgroundPool.h"
#include "platform/PngEncoder.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

EarlyPng::EarlyPng(const QImage &picture, QFuture<std::optional<QByteArray>> encoding)
    : m_cacheKey(picture.cacheKey())
    , m_bits(picture.constBits())
    , m_size(picture.size())
    , m_format(picture.format())
    , m_encoding(std::move(encoding))
{
}

EarlyPng EarlyPng::begin(const QImage &picture)
{
    return EarlyPng(picture, QtConcurrent::run(&backgroundPool(), [picture] { return encodePng(picture); }));
}

bool EarlyPng::encodes(const QImage &image) const
{
    return !image.isNull() && image.cacheKey() == m_cacheKey && image.constBits() == m_bits
        && image.size() == m_size && image.format() == m_format;
}

std::optional<QByteArray> EarlyPng::result() const
{
    return m_encoding.result();
}

} // namespace tessaline
