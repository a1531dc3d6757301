#include "platform/settings.h"

#include <QSettings>

namespace platform {

namespace {
QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, Settings::organisation(),
                     Settings::application());
}

QString path(const QString& section, const QString& key)
{
    return section + QChar('/') + key;
}
} // namespace

int Settings::readInteger(const QString& section, const QString& key, int defaultValue)
{
    bool ok = false;
    const int value = store().value(path(section, key)).toInt(&ok);
    return ok ? value : defaultValue;
}

void Settings::writeInteger(const QString& section, const QString& key, int value)
{
    store().setValue(path(section, key), value);
}

QString Settings::readString(const QString& section, const QString& key, const QString& defaultValue)
{
    const QVariant v = store().value(path(section, key));
    return v.isValid() ? v.toString() : defaultValue;
}

void Settings::writeString(const QString& section, const QString& key, const QString& value)
{
    store().setValue(path(section, key), value);
}

bool Settings::readBool(const QString& section, const QString& key, bool defaultValue)
{
    const QVariant v = store().value(path(section, key));
    return v.isValid() ? v.toBool() : defaultValue;
}

void Settings::writeBool(const QString& section, const QString& key, bool value)
{
    store().setValue(path(section, key), value);
}

bool Settings::contains(const QString& section, const QString& key)
{
    return store().contains(path(section, key));
}

void Settings::remove(const QString& section)
{
    store().remove(section);
}

} // namespace platform
