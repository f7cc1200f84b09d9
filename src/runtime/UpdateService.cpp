#include "runtime/UpdateService.h"

#include <QCoreApplication>

namespace tessaline {

UpdateService::UpdateService(QObject *parent)
    : UpdateService(std::make_unique<NullSoftwareUpdater>(), parent)
{
}

UpdateService::UpdateService(std::unique_ptr<SoftwareUpdater> updater, QObject *parent)
    : QObject(parent)
    , m_updater(std::move(updater))
{
    Q_ASSERT(m_updater);
    m_updater->start();
    connect(m_updater.get(), &SoftwareUpdater::canCheckForUpdatesChanged, this,
            &UpdateService::setCanCheckForUpdates);
    // Callers see the updater's current answer right away, not the false
    // the service starts from.
    setCanCheckForUpdates(m_updater->canCheckForUpdates());
}

UpdateService::~UpdateService() = default;

void UpdateService::setCanCheckForUpdates(bool canCheck)
{
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged();
}

void UpdateService::checkForUpdates()
{
    if (!m_canCheckForUpdates)
        return;
    m_updater->checkForUpdates();
}

QString UpdateService::installedVersionText()
{
    const QString version = QCoreApplication::applicationVersion();
    const QVariant build = QCoreApplication::instance()
        ? QCoreApplication::instance()->property("buildVersion")
        : QVariant();
    return installedVersionText(version.isEmpty() ? QVariant() : QVariant(version), build);
}

QString UpdateService::installedVersionText(const QVariant &shortVersion, const QVariant &build)
{
    if (shortVersion.typeId() != QMetaType::QString)
        return QStringLiteral("Unknown");
    if (build.typeId() != QMetaType::QString)
        return shortVersion.toString();
    return shortVersion.toString() + QStringLiteral(" (") + build.toString() + QStringLiteral(")");
}

} // namespace tessaline
