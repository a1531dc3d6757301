#include "platform/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <cstdio>

namespace platform {

namespace {
MessageBoxScript* g_script = nullptr;

struct ButtonText {
    MsgAnswer answer;
    const char* text;
};

std::vector<ButtonText> buttonsOf(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok: return {{MsgAnswer::Ok, "OK"}};
    case MsgButtons::OkCancel: return {{MsgAnswer::Ok, "OK"}, {MsgAnswer::Cancel, "Abbrechen"}};
    case MsgButtons::AbortRetryIgnore:
        return {{MsgAnswer::Abort, "&Abbrechen"}, {MsgAnswer::Retry, "&Wiederholen"},
                {MsgAnswer::Ignore, "&Ignorieren"}};
    case MsgButtons::YesNoCancel:
        return {{MsgAnswer::Yes, "&Ja"}, {MsgAnswer::No, "&Nein"}, {MsgAnswer::Cancel, "Abbrechen"}};
    case MsgButtons::YesNo: return {{MsgAnswer::Yes, "&Ja"}, {MsgAnswer::No, "&Nein"}};
    case MsgButtons::RetryCancel:
        return {{MsgAnswer::Retry, "&Wiederholen"}, {MsgAnswer::Cancel, "Abbrechen"}};
    }
    return {{MsgAnswer::Ok, "OK"}};
}

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::None: return QMessageBox::NoIcon;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer escapeAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::AbortRetryIgnore: return MsgAnswer::Abort;
    default: return MsgAnswer::Cancel;
    }
}
} // namespace

MessageBoxScript::MessageBoxScript() : m_previous(g_script)
{
    g_script = this;
}

MessageBoxScript::~MessageBoxScript()
{
    g_script = m_previous;
}

QStringList MessageBoxScript::texts() const
{
    QStringList list;
    for (const auto& m : m_shown)
        list << m.text;
    return list;
}

MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    const auto choices = buttonsOf(buttons);
    if (g_script) {
        MsgAnswer answer = choices.front().answer;
        if (!g_script->m_answers.empty()) {
            answer = g_script->m_answers.front();
            g_script->m_answers.pop_front();
        }
        g_script->m_shown.push_back({text, caption, icon, buttons, answer});
        return answer;
    }

    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return choices.front().answer;
    }

    QMessageBox box(qtIcon(icon), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    std::vector<std::pair<QAbstractButton*, MsgAnswer>> made;
    for (const auto& choice : choices) {
        const auto role = (choice.answer == MsgAnswer::Cancel || choice.answer == MsgAnswer::No)
                              ? QMessageBox::RejectRole
                              : QMessageBox::AcceptRole;
        made.emplace_back(box.addButton(QString::fromUtf8(choice.text), role), choice.answer);
    }
    box.setDefaultButton(static_cast<QPushButton*>(made.front().first));
    box.exec();
    for (const auto& [button, answer] : made) {
        if (box.clickedButton() == button)
            return answer;
    }
    return escapeAnswer(buttons);
}

} // namespace platform
