#include "platform/EarlyPng.h"

namespace tessaline {

EarlyPng::EarlyPng(const QImage &picture, QFuture<std::optional<QByteArray>> encoding)
    : m_cacheKey(picture.cacheKey())
    , m_bits(picture.constBits())
    , m_size(picture.size())
    , m_format(picture.format())
    , m_encoding(std::move(encoding))
{
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
