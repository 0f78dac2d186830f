#pragma once
// The bookkeeping of a window of which at most one is loaded at a time: the update window,
// the firmware information window, the main and the compact panel.

#include <QPointer>

namespace iox::panels {

template <class Window>
class OneWindow {
public:
    // The loaded window, or nullptr; a destroyed window is forgotten by itself.
    Window* get() const { return m_window.data(); }
    explicit operator bool() const { return !m_window.isNull(); }
    Window* operator->() const { return m_window.data(); }

    // The loaded window, made by `make` first when none is loaded.
    template <class Make>
    Window& loaded(Make make)
    {
        if (!m_window)
            m_window = make();
        return *m_window;
    }
    // `window` is the one from now on; the one loaded before is destroyed.
    Window& replace(Window* window)
    {
        delete m_window.data();
        m_window = window;
        return *window;
    }
    // Forgets the window and hands it to the caller, who unloads it; nullptr when none.
    Window* release()
    {
        Window* window = m_window.data();
        m_window = nullptr;
        return window;
    }

private:
    QPointer<Window> m_window;
};

}  // namespace iox::panels
