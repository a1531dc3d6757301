#pragma once
// Strings stored in files. Text is written in code page 1252 when every
// character fits, so files stay exchangeable with the Windows program, and
// in UTF-8 otherwise. Reading takes valid UTF-8 as UTF-8 and anything else
// as code page 1252, so no name is ever lost either way.

#include <QByteArray>
#include <QString>

namespace platform {

// True when every character of text has a code page 1252 byte.
bool fitsCp1252(const QString& text);
// Code page 1252 bytes; characters without one become '?'.
QByteArray toCp1252(const QString& text);
QString fromCp1252(const QByteArray& bytes);
bool isValidUtf8(const QByteArray& bytes);

// Code page 1252 when the text fits, else UTF-8.
QByteArray encodeFileText(const QString& text);
// UTF-8 when the bytes are valid UTF-8, else code page 1252.
QString decodeFileText(const QByteArray& bytes);

} // namespace platform
