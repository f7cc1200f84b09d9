#pragma once

#include "model/ModelContainer.h"
#include "platform/Expected.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class AppRuntime;
class CaptureCoordinator;
class DesktopUserNotificationCenter;
class ReviewReminderService;
class UpdateService;
class UserDefaults;

// The store as start-up opened it, and the notice for the user when it had
// to fall back.
struct OpenedLibrary
{
    std::unique_ptr<ModelContainer> container;
    std::optional<QString> startupMessage;
};

// The application as a whole: opens the library (falling back from the
// cloud-mirrored store to the local one), then builds the runtime and every
// service it owns, in a fixed order. Lives for the whole process.
class TessalineApp : public QObject
{
    Q_OBJECT
public:
    // The library, asking for cloud mirroring when the setting is on and
    // falling back to the local file; the fatal message when even that fails.
    static Expected<OpenedLibrary, QString> openLibrary(UserDefaults &defaults, const QString &directory = QString());

    // The fatal message when a folder the library and the settings are found
    // through (read from `environment`) has a name that is not UTF-8 text:
    // file names are read as UTF-8, and such a name would come back as
    // another folder, where an empty library would be made in place of the
    // user's. None when every such name reads back as it is.
    static std::optional<QString> unreadableFolderMessage(const std::function<QByteArray(const char *)> &environment);

    // The fatal message for a library that could not be opened, given the
    // space left on its disk (negative: not known).
    static QString storeFailureMessage(const QString &reason, qint64 bytesFree);

    // Starts a new instance in place of this one (`start` answers whether it
    // did). The new one must be able to take the hot keys, so this one lets
    // go of them first, and takes them back when none could be started: the
    // app then goes on, and its keys with it.
    static Expected<void, QString> launchReplacement(CaptureCoordinator &coordinator,
                                                     const std::function<bool()> &start);

    TessalineApp(OpenedLibrary library, UserDefaults &defaults, QObject *parent = nullptr);
    ~TessalineApp() override;

    AppRuntime &runtime() const { return *m_runtime; }
    UpdateService &updates() const { return *m_updates; }

private:
    std::unique_ptr<DesktopUserNotificationCenter> m_notificationCenter;
    std::unique_ptr<ReviewReminderService> m_reminders;
    std::unique_ptr<AppRuntime> m_runtime;
    std::unique_ptr<UpdateService> m_updates;
};

} // namespace tessaline
