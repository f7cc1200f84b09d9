#pragma once

#include "runtime/SoftwareUpdater.h"

#include <QObject>
#include <QVariant>

#include <memory>

namespace tessaline {

// The app's one handle on its updater: starts it at creation, mirrors whether
// a check may be started, and starts one on request. The settings window
// reaches the updater's own settings through updater().
class UpdateService : public QObject
{
    Q_OBJECT
public:
    // Over the null updater: on Linux updates come from the package manager.
    explicit UpdateService(QObject *parent = nullptr);
    explicit UpdateService(std::unique_ptr<SoftwareUpdater> updater, QObject *parent = nullptr);
    ~UpdateService() override;

    SoftwareUpdater &updater() const { return *m_updater; }

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

    // Starts a check the user asked for. Does nothing while a check may not
    // be started, whichever control called it.
    void checkForUpdates();

    // The installed version: "1.4 (27)" with a build, "1.4" without, and
    // "Unknown" without a version. Read from the application's version and
    // its "buildVersion" property.
    static QString installedVersionText();
    // Only text values count; anything else is treated as missing.
    static QString installedVersionText(const QVariant &shortVersion, const QVariant &build);

Q_SIGNALS:
    void canCheckForUpdatesChanged();

private:
    void setCanCheckForUpdates(bool canCheck);

    std::unique_ptr<SoftwareUpdater> m_updater;
    bool m_canCheckForUpdates = false;
};

} // namespace tessaline
