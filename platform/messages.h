#pragma once
// Window messages between the libraries and the windows that asked for
// reports: WM_USER (0x400) carries a load or save percentage, WM_USER + 1
// (0x401) announces a finished scan. They arrive as Qt events of one type,
// carrying the message number and its two parameters.

#include <QEvent>

#include <cstdint>

class QObject;

namespace platform {

constexpr uint32_t WM_USER = 0x400;
constexpr uint32_t WM_SCANREADY = WM_USER + 1;

class WindowMessageEvent : public QEvent {
public:
    static QEvent::Type eventType();

    WindowMessageEvent(uint32_t message, intptr_t wParam, intptr_t lParam = 0);

    uint32_t message() const { return m_message; }
    intptr_t wParam() const { return m_wParam; }
    intptr_t lParam() const { return m_lParam; }

private:
    uint32_t m_message;
    intptr_t m_wParam;
    intptr_t m_lParam;
};

// Posts the message to the window; a null window is ignored.
void PostMessage(QObject* window, uint32_t message, intptr_t wParam, intptr_t lParam = 0);
// Delivers the message to the window at once, before returning, so a window
// can show the progress of the work that is running; a null window is
// ignored.
void SendMessage(QObject* window, uint32_t message, intptr_t wParam, intptr_t lParam = 0);

} // namespace platform
