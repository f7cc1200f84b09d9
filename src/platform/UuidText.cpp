#include "platform/UuidText.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tessaline {

QString uuidText(const QUuid &uuid)
{
    // Written straight into its 36 characters: a note's writing names every
    // card it shows, and is written whole at each save.
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    const uchar bytes[16] = {uchar(uuid.data1 >> 24), uchar(uuid.data1 >> 16), uchar(uuid.data1 >> 8),
                             uchar(uuid.data1),       uchar(uuid.data2 >> 8),  uchar(uuid.data2),
                             uchar(uuid.data3 >> 8),  uchar(uuid.data3),       uuid.data4[0],
                             uuid.data4[1],           uuid.data4[2],           uuid.data4[3],
                             uuid.data4[4],           uuid.data4[5],           uuid.data4[6],
                             uuid.data4[7]};
    QString text(36, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *out++ = u'-';
        *out++ = hex[bytes[i] >> 4];
        *out++ = hex[bytes[i] & 0xf];
    }
    return text;
}

namespace {

template <typename Text>
std::optional<QUuid> parseUuidText(Text text)
{
    // Read straight into the sixteen bytes: every stored row holds several
    // identifiers, and a library is read whole at start-up.
    if (text.size() != 36)
        return std::nullopt;
    static constexpr auto digits = [] {
        std::array<signed char, 128> table{};
        table.fill(-1);
        for (int i = 0; i < 10; ++i)
            table['0' + i] = char(i);
        for (int i = 0; i < 6; ++i)
            table['a' + i] = table['A' + i] = char(10 + i);
        return table;
    }();
    const auto hexValue = [](auto c) -> int {
        const uint code = QChar(c).unicode();
        return code < 128 ? digits[code] : -1;
    };
    char bytes[16];
    int filled = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (QChar(text.at(i)) != u'-')
                return std::nullopt;
            ++i;
            continue;
        }
        // The groups have even lengths, so a pair never spans a dash.
        const int high = hexValue(text.at(i));
        const int low = hexValue(text.at(i + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[filled++] = char(high << 4 | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes, sizeof bytes));
}

} // namespace

std::optional<QUuid> parseUuid(QStringView text)
{
    return parseUuidText(text);
}

std::optional<QUuid> parseUuid(QLatin1StringView text)
{
    return parseUuidText(text);
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
