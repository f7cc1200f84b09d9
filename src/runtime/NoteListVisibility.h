#pragma once

#include <QObject>

#include <functional>

namespace tessaline {

// The main window's flag for the notes screen's list column, as the screen
// sees it: it reads the flag, flips it and follows its changes, while the
// window decides what the flag means beside its sidebar. Made without
// functions it is a plain flag of its own, initially shown.
class NoteListVisibility : public QObject
{
    Q_OBJECT
public:
    explicit NoteListVisibility(QObject *parent = nullptr) : QObject(parent) {}
    NoteListVisibility(std::function<bool()> read, std::function<void(bool)> write, QObject *parent = nullptr)
        : QObject(parent), m_read(std::move(read)), m_write(std::move(write))
    {
    }

    bool isVisible() const { return m_read ? m_read() : m_visible; }
    void setVisible(bool visible)
    {
        if (m_write) {
            m_write(visible);
            return;
        }
        if (m_visible == visible)
            return;
        m_visible = visible;
        Q_EMIT visibleChanged();
    }
    void toggle() { setVisible(!isVisible()); }

Q_SIGNALS:
    // The owner of a read function emits this when its answer changes.
    void visibleChanged();

private:
    std::function<bool()> m_read;
    std::function<void(bool)> m_write;
    bool m_visible = true;
};

} // namespace tessaline
