#pragma once
// The per-user settings store for values that dialogs remember between
// runs, kept under organisation "KOR-VAN", application "Lumivox". Keys are
// grouped in sections, as the dialogs name them.

#include <QString>
#include <QVariant>

namespace platform {

class Settings {
public:
    static QString organisation() { return QStringLiteral("KOR-VAN"); }
    static QString application() { return QStringLiteral("Lumivox"); }

    static int readInteger(const QString& section, const QString& key, int defaultValue);
    static void writeInteger(const QString& section, const QString& key, int value);
    static QString readString(const QString& section, const QString& key, const QString& defaultValue);
    static void writeString(const QString& section, const QString& key, const QString& value);
    static bool readBool(const QString& section, const QString& key, bool defaultValue);
    static void writeBool(const QString& section, const QString& key, bool value);
    static bool contains(const QString& section, const QString& key);
    static void remove(const QString& section);
};

} // namespace platform
