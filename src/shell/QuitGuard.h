#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tessaline {

class ModelContext;

// Stands between a request to quit (the menus, the tray, a relaunch) and the
// app's end. What still waits for its save (writing a full disk would not
// take, a field being typed) is written first; when the library will not
// take it, the user is told why and may stay and make room, rather than the
// app going and the changes with it. Installed on the application, where
// every such request arrives as a Quit event.
class QuitGuard : public QObject
{
    Q_OBJECT
public:
    // Shows the message and asks whether to quit all the same; true to quit.
    using QuitAnyway = std::function<bool(const QString &message)>;

    QuitGuard(ModelContext &context, QuitAnyway quitAnyway, QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // What the user is asked when the changes could not be saved.
    static QString unsavedChangesMessage(const QString &reason);
    // The same for a library opened for reading, which no wait will make
    // take them.
    static QString unkeptChangesMessage(const QString &reason);
    // The last save as the app ends, where nobody can be asked any more (a
    // session that ends, a signal): why the changes were lost, when they were.
    static std::optional<QString> saveOnTheWayOut(ModelContext &context);

private:
    ModelContext &m_context;
    QuitAnyway m_quitAnyway;
    bool m_asking = false;
};

} // namespace tessaline
