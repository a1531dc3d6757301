#pragma once
// Pictures going into a show: a picture file read for a new slide, the
// slide made from it, the message when it cannot be read, and many files
// read on every core at once while the caller takes them in order.
//
// A JPEG or GIF file keeps its bytes with the slide (TPictureBytes), so
// saving the show writes the photo as it came, never encoded again.

#include "raster/dibguard.h"
#include "show/slide.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace show {

// One picture file, read.
struct LoadedPicture {
    raster::DibGuard Picture;   // no pixels when the file could not be read
    QString ErrorText;          // the raster library's reason then
    bool KeepBytes = false;     // Bytes are the JPEG or GIF file it came from
    uint8_t Format = 0;         // the show file's picture format of Bytes: 0 JPEG, 1 GIF
    std::vector<uint8_t> Bytes;
    uint64_t Fingerprint = 0;   // the picture's, when KeepBytes

    bool ok() const { return bool(Picture); }
};

// Reads a picture file, its format taken from its content. Progress goes to
// progressWindow (may be null) as 0x400 messages.
LoadedPicture LoadPicture(const QString& path, QObject* progressWindow = nullptr);

// Appends a slide with the values of a newly added picture, taking over
// the loaded picture and its kept bytes; null (and the show unchanged, the
// picture still loaded) when the slide list has no room or loaded holds no
// picture.
TSlideRecord* AddPictureSlide(ShowDocument& show, LoadedPicture& loaded, const QString& fileName);

// Tells the user that the file name could not be loaded: a box with only
// OK and no icon. When the raster library gave a reason of more than five
// characters it is the text and "Fehler: Die Datei NAME konnte nicht
// geladen werden!" the caption; otherwise that sentence is the text and
// "Fehler" the caption.
void ShowLoadFailure(const LoadedPicture& loaded, const QString& name);

// Reads a list of picture files on every core (up to eight), a few ahead of
// the caller, who takes them one by one in list order: at most readAhead()
// pictures beyond those taken are read or being read at any time, so memory
// stays bounded however slow the caller is. Each picture is read exactly as
// LoadPicture reads it, without progress messages. Destroying it stops the
// reading (a picture being read is finished first) and releases every
// picture not taken.
class PictureIntake {
public:
    explicit PictureIntake(QStringList paths);
    ~PictureIntake();
    PictureIntake(const PictureIntake&) = delete;
    PictureIntake& operator=(const PictureIntake&) = delete;

    int count() const;
    // The most pictures read ahead of the next one to be taken: the cores
    // used, plus one.
    int readAhead() const;
    // Picture i (taken in order, each once). While it is still being read,
    // idle runs again and again on the calling thread, every few
    // milliseconds (a window repaints there); it must not start another
    // intake. Pictures before i that were not taken are given up. An index
    // already taken or given up, or outside the list, yields an empty
    // LoadedPicture (no picture, no reason).
    LoadedPicture take(int i, const std::function<void()>& idle = {});

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace show
