#pragma once

#include <QObject>

namespace tessaline {

// The software updater the app drives: started once at launch, asked to
// check on the user's request, and holding its own automatic-update settings.
class SoftwareUpdater : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void start() = 0;

    // Whether this updater can check for updates on this system at all;
    // where it cannot, the package manager updates the app and none of the
    // settings below mean anything.
    virtual bool isAvailable() const { return true; }

    // Whether a check may be started now; canCheckForUpdatesChanged follows it.
    virtual bool canCheckForUpdates() const = 0;
    // A check the user asked for; whatever it shows is the updater's own.
    virtual void checkForUpdates() = 0;

    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool enabled) = 0;
    // Whether automatic downloading may be offered at all.
    virtual bool allowsAutomaticUpdates() const = 0;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
};

// On Linux the package manager updates the app, so this updater never checks
// and offers no automatic updates; its settings stay off.
class NullSoftwareUpdater : public SoftwareUpdater
{
    Q_OBJECT
public:
    using SoftwareUpdater::SoftwareUpdater;

    void start() override {}
    bool isAvailable() const override { return false; }
    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override {}
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
    bool allowsAutomaticUpdates() const override { return false; }
};

} // namespace tessaline
