#include "platform/msgbox.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(MessageBox, ScriptAnswersAndRecordsEveryBox)
{
    MessageBoxScript script;
    script.answer(MsgAnswer::Cancel);
    EXPECT_EQ(MessageBox("Wirklich beenden?", "Frage", MsgIcon::Information, MsgButtons::OkCancel),
              MsgAnswer::Cancel);
    // With the queue empty the first button answers.
    EXPECT_EQ(MessageBox("Noch einmal?", "Frage", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::Yes);
    ShowError("Fehler: nicht genug Speicher für diese Operation!");

    ASSERT_EQ(script.shown().size(), 3u);
    EXPECT_EQ(script.shown()[0].caption, "Frage");
    EXPECT_EQ(script.shown()[0].icon, MsgIcon::Information);
    EXPECT_EQ(script.shown()[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(script.shown()[2].caption, "Fehler");
    EXPECT_EQ(script.shown()[2].icon, MsgIcon::Error);
    EXPECT_EQ(script.texts().last(), "Fehler: nicht genug Speicher für diese Operation!");
}

TEST(MessageBox, ScriptsNestAndTheInnermostAnswers)
{
    MessageBoxScript outer;
    {
        MessageBoxScript inner;
        inner.answer(MsgAnswer::No);
        EXPECT_EQ(MessageBox("Innen?", "Frage", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
        EXPECT_EQ(inner.shown().size(), 1u);
    }
    MessageBox("Außen");
    ASSERT_EQ(outer.shown().size(), 1u);
    EXPECT_EQ(outer.shown()[0].text, QString::fromUtf8("Außen"));
}
