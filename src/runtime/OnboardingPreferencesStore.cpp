#include "runtime/OnboardingPreferencesStore.h"

#include "platform/Json.h"
#include "platform/UserDefaults.h"

#include <cmath>

namespace tessaline {
namespace {

// Integers beyond 2^53 cannot come through a double unchanged, so they do
// not count as integers here.
constexpr double largestExactInteger = 9007199254740992.0;

std::optional<qint64> integer(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > largestExactInteger)
        return std::nullopt;
    return qint64(number);
}

bool isValidUnicode(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

} // namespace

OnboardingPreferencesStore::OnboardingPreferencesStore(UserDefaults &defaults)
    : m_defaults(defaults)
{
}

OnboardingPreferences OnboardingPreferencesStore::load() const
{
    const std::optional<QByteArray> data = m_defaults.data(preferencesKey());
    if (!data)
        return OnboardingPreferences();
    return decode(*data).value_or(OnboardingPreferences());
}

void OnboardingPreferencesStore::save(const OnboardingPreferences &preferences)
{
    const std::optional<QByteArray> data = encode(preferences);
    if (!data)
        return;
    m_defaults.setData(preferencesKey(), *data);
}

std::optional<QByteArray> OnboardingPreferencesStore::encode(const OnboardingPreferences &preferences)
{
    // Written by hand rather than through a QJsonObject so the keys keep
    // their declared order instead of sorting.
    const std::optional<QByteArray> name = writeJson(QJsonValue(preferences.profile.name));
    if (!name)
        return std::nullopt;
    QByteArray out;
    out.append(R"({"profile":{"name":)");
    out.append(*name);
    out.append(R"(},"completedOnboardingVersion":)");
    out.append(QByteArray::number(preferences.completedOnboardingVersion));
    out.append(R"(,"completedTourVersion":)");
    out.append(QByteArray::number(preferences.completedTourVersion));
    out.append('}');
    return out;
}

std::optional<OnboardingPreferences> OnboardingPreferencesStore::decode(const QByteArray &data)
{
    const std::optional<QJsonValue> root = parseJson(data);
    if (!root || !root->isObject())
        return std::nullopt;
    const QJsonObject object = root->toObject();
    const std::optional<QJsonObject> profile = json::object(object, QLatin1StringView("profile"));
    if (!profile)
        return std::nullopt;
    const std::optional<QString> name = json::string(*profile, QLatin1StringView("name"));
    if (!name || !isValidUnicode(*name))
        return std::nullopt;
    const std::optional<qint64> onboardingVersion = integer(object, QLatin1StringView("completedOnboardingVersion"));
    const std::optional<qint64> tourVersion = integer(object, QLatin1StringView("completedTourVersion"));
    if (!onboardingVersion || !tourVersion)
        return std::nullopt;

    OnboardingPreferences preferences;
    preferences.profile.name = *name;
    preferences.completedOnboardingVersion = *onboardingVersion;
    preferences.completedTourVersion = *tourVersion;
    return preferences;
}

} // namespace tessaline
