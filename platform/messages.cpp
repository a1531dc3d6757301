#include "platform/messages.h"

#include <QCoreApplication>
#include <QObject>

namespace platform {

QEvent::Type WindowMessageEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

WindowMessageEvent::WindowMessageEvent(uint32_t message, intptr_t wParam, intptr_t lParam)
    : QEvent(eventType()), m_message(message), m_wParam(wParam), m_lParam(lParam)
{
}

void PostMessage(QObject* window, uint32_t message, intptr_t wParam, intptr_t lParam)
{
    if (window)
        QCoreApplication::postEvent(window, new WindowMessageEvent(message, wParam, lParam));
}

void SendMessage(QObject* window, uint32_t message, intptr_t wParam, intptr_t lParam)
{
    if (!window)
        return;
    WindowMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(window, &event);
}

} // namespace platform
