#include "platform/settings.h"

#include <QSettings>

#include <gtest/gtest.h>

using platform::Settings;

TEST(Settings, RemembersValuesUnderTheProgramsName)
{
    Settings::remove("Test");
    EXPECT_EQ(Settings::readInteger("Test", "Zahl", 7), 7);
    EXPECT_EQ(Settings::readString("Test", "Text", "leer"), "leer");
    Settings::writeInteger("Test", "Zahl", -3);
    Settings::writeString("Test", "Text", QString::fromUtf8("Grüße"));
    Settings::writeBool("Test", "Schalter", true);
    EXPECT_EQ(Settings::readInteger("Test", "Zahl", 7), -3);
    EXPECT_EQ(Settings::readString("Test", "Text", "leer"), QString::fromUtf8("Grüße"));
    EXPECT_TRUE(Settings::readBool("Test", "Schalter", false));

    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, "KOR-VAN", "Lumivox");
    EXPECT_EQ(store.value("Test/Zahl").toInt(), -3);
    EXPECT_TRUE(store.fileName().contains("KOR-VAN"));
    Settings::remove("Test");
    EXPECT_FALSE(Settings::contains("Test", "Zahl"));
}
