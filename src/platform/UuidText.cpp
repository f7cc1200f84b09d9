#include "platform/UuidText.h"

#include <algorithm>
#include <iterator>

namespace tessaline {

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool dashPosition = i == 8 || i == 13 || i == 18 || i == 23;
        if (dashPosition) {
            if (c != u'-')
                return std::nullopt;
            continue;
        }
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex)
            return std::nullopt;
    }
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull() && text != u"00000000-0000-0000-0000-000000000000")
        return std::nullopt;
    return uuid;
}

bool uuidTextLess(const QUuid &a, const QUuid &b)
{
    // The text is the sixteen bytes in order as upper-case hex, and hex digits
    // sort as their values, so comparing the fields in that order gives the
    // text's order without building two strings per comparison.
    if (a.data1 != b.data1)
        return a.data1 < b.data1;
    if (a.data2 != b.data2)
        return a.data2 < b.data2;
    if (a.data3 != b.data3)
        return a.data3 < b.data3;
    return std::lexicographical_compare(std::begin(a.data4), std::end(a.data4), std::begin(b.data4),
                                        std::end(b.data4));
}

} // namespace tessaline
