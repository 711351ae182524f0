#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// A program-wide slot for a secondary window: filled on first use, shown
// modeless with no owner, brought to the front when chosen again, and built
// anew once the window has closed itself (it deletes itself on close).
template <typename Window>
class WindowSlot
{
public:
    using Factory = std::function<Window *()>;

    explicit WindowSlot(Factory factory = [] { return new Window(); })
        : m_factory(std::move(factory))
    {
    }

    Window *show()
    {
        if (!m_window) {
            m_window = m_factory();
            // A tool window would not keep the program running by itself;
            // this one must, after the main window has closed.
            m_window->setAttribute(Qt::WA_QuitOnClose, true);
        }
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return m_window;
    }

    Window *window() const { return m_window; }

private:
    Factory m_factory;
    QPointer<Window> m_window;
};
