#pragma once
// The show file (.sli): the show settings, every slide's settings and every
// slide's picture as an encoded JPEG or GIF file, so a show plays from its
// file alone.
//
// Both directions are all or nothing. Saving writes a new file beside the
// target and puts it in place only when the whole show is written, so a
// failed save leaves the previous file as it was (only in a folder that
// forbids new files is an existing show written over in place). Opening reads the whole
// file into a new list and swaps it in only when everything was read, so a
// damaged file leaves the show in memory untouched.

#include "show/slide.h"

#include <QObject>
#include <QString>

namespace show {

// The file's first 19 bytes.
inline constexpr char kShowMagic[] = "KOR-VAN Lumivox 3.0";

// Writes the whole show to path. namesOnly stores every path as a bare file
// name (for passing the show on). On success the show's file name becomes
// path; on failure a German message was shown and nothing changed.
bool SaveFile(ShowDocument& show, const QString& path, bool namesOnly);

// Replaces the show in memory by the file's content. Load progress of every
// picture goes to progressWindow (may be null) as 0x400 events. On success
// the show's file name becomes path; on failure a German message was shown
// and the show in memory is as it was.
bool OpenFile(ShowDocument& show, const QString& path, QObject* progressWindow = nullptr);

// The folder a show file name refers to, with a trailing separator: its own
// folder part, or the program's folder for a bare name.
QString ShowFolder(const QString& path);

} // namespace show
