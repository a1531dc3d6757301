#pragma once
// Every message the programs show to the user goes through MessageBox: a
// modal box with a German text, a caption, an icon and a set of buttons,
// answering which button was pressed.
//
// Tests install a MessageBoxScript: boxes are then recorded instead of
// shown, and answered from the script's queue (the box's first button when
// the queue is empty). Scripts nest; the innermost one answers.
//
// Programs without widgets (lumivox-tool) get the text on standard error
// and the box's first button as the answer.

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace platform {

enum class MsgIcon { None, Error, Question, Warning, Information };
enum class MsgButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

MsgAnswer MessageBox(const QString& text, const QString& caption = QStringLiteral("Fehler"),
                     MsgIcon icon = MsgIcon::Error, MsgButtons buttons = MsgButtons::Ok);

// The common failure message: caption "Fehler", error icon, OK.
inline void ShowError(const QString& text)
{
    MessageBox(text, QStringLiteral("Fehler"), MsgIcon::Error, MsgButtons::Ok);
}

struct ShownMessage {
    QString text;
    QString caption;
    MsgIcon icon;
    MsgButtons buttons;
    MsgAnswer answer;
};

class MessageBoxScript {
public:
    MessageBoxScript();
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;

    // Queues the answer for the next box.
    void answer(MsgAnswer a) { m_answers.push_back(a); }
    const std::vector<ShownMessage>& shown() const { return m_shown; }
    // Texts of every box shown so far, in order.
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    friend MsgAnswer MessageBox(const QString&, const QString&, MsgIcon, MsgButtons);
    std::deque<MsgAnswer> m_answers;
    std::vector<ShownMessage> m_shown;
    MessageBoxScript* m_previous = nullptr;
};

} // namespace platform
