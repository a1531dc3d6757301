#pragma once
// One slide of a show, the show-level settings, and what a show document
// holds: its slide list, its current-slide variable and its file name.
//
// TSlideRecord is a plain record kept by value in a TDynaArray, so it stays
// trivially copyable: everything a slide owns (its strings, its font, its
// node list, its picture's pixels and the encoded bytes of its picture) is
// reached through pointers, and ReleaseSlide releases all of it.

#include "platform/wintypes.h"
#include "raster/dibrecord.h"
#include "show/dynaarray.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <type_traits>
#include <vector>

namespace show {

using platform::COLORREF;
using raster::TDibRecord;

// A point of a slide's movement path: an offset from the picture's placed
// position in thousandths of the screen's width (X) and height (Y).
struct TNodePoint {
    int32_t X;
    int32_t Y;
};
static_assert(sizeof(TNodePoint) == 8);

// A slide's frame: Left, Top, Right, Bottom in thousandths of the screen.
// The corners may come in either order.
struct TFrameRect {
    int32_t Left;
    int32_t Top;
    int32_t Right;
    int32_t Bottom;
};

// The comment font of a slide, as a value.
struct TSlideFont {
    enum Style : uint8_t { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };

    QString Name = QStringLiteral("Arial");
    int32_t Size = 11;          // points, signed as the font reports it
    int32_t PixelsPerInch = 96;
    uint8_t Style = Bold;       // the Style bits
    COLORREF Color = 0xFFFFFF;  // white
    uint8_t Charset = 0;        // 0 ANSI, 1 default, 2 symbol, ...
    uint8_t Pitch = 0;          // 0 default, 1 variable, 2 fixed

    // The height in pixels that size and pixels per inch give (15 for 11
    // points at 96 pixels per inch), as a positive number.
    int32_t PixelHeight() const;
    // For drawing: the face, pixel size and style.
    QFont toQFont() const;

    bool operator==(const TSlideFont&) const = default;
};

// The encoded picture a slide's picture was decoded from (a show file's
// picture block, or the JPEG or GIF file it was added from), kept while the
// picture is unchanged so that saving writes these bytes again instead of
// encoding the picture anew.
struct TPictureBytes {
    uint8_t Format = 0;          // the show file's picture format: 0 JPEG, 1 GIF
    std::vector<uint8_t> Bytes;
    // What the picture showed when the bytes were kept (raster's
    // DibFingerprint): the bytes serve only while it still shows that, so
    // an edit in place, a new colour table or a picture made anew at the
    // same address is encoded again.
    uint64_t Fingerprint = 0;
};

struct TSlideRecord {
    TDibRecord Dib;              // the decoded picture, owned; may hold no pixels
    char* FileName;              // owned, UTF-8, zero-terminated; may be null
    uint8_t CollageMember;
    uint8_t CommentVisible;
    uint8_t PictureVisible;
    int32_t EffectInUse;         // run-time only: the transition used for this run
    int32_t Placement;
    int32_t Effect;
    int32_t SizeMode;
    int32_t TransTime;
    int32_t PauseTime;
    int32_t TextPosition;
    TFrameRect Frame;
    char* Comment;               // owned or null; lines separated by CR LF
    char* SoundFile;             // owned or null
    TSlideFont* Font;            // owned
    COLORREF BackColor;
    COLORREF BorderColor;
    uint8_t KeepAspect;
    uint8_t TextBorder;
    int32_t SoundMode;
    int32_t UserSize;
    int32_t UserPicX;
    int32_t UserPicY;
    int32_t UserTextX;
    int32_t UserTextY;
    TDynaArray* Nodes;           // owned, elements TNodePoint
    TPictureBytes* PictureBytes; // owned or null: run-time only
};
static_assert(std::is_trivially_copyable_v<TSlideRecord>);

// The show-level settings.
enum EndModes : int32_t { emRepeat = 0, emWaitKey = 1, emQuit = 2 };

struct TShowSettings {
    QString MusicFile;
    int32_t EndMode = emRepeat;
    bool FullScreen = true;
    bool PlayBar = true;
};

// A show in memory: what the editor's and the player's main windows own.
struct ShowDocument {
    ShowDocument();
    ~ShowDocument();
    ShowDocument(const ShowDocument&) = delete;
    ShowDocument& operator=(const ShowDocument&) = delete;

    TSlideRecord* CurrentSlide = nullptr; // the list's CursorVar
    TNodePoint* CurrentNode = nullptr;    // shared by every slide's node list
    TDynaArray Slides;
    TShowSettings Settings;
    QString ShowFileName;                 // the current show file, "" for none

    TSlideRecord* slide(uint32_t i) const { return ElementAt<TSlideRecord>(Slides, i); }
};

// Owned strings: a zero-terminated UTF-8 copy of text (allocated with its
// length plus one), and the text of such a string (null reads as "").
char* NewString(const QString& text);
QString StringText(const char* s);
// Replaces an owned string.
void SetString(char*& field, const QString& text);

// Appends a slide with every field zero, its empty node list and a default
// font; null (and the list unchanged) when there was no memory.
TSlideRecord* AddBlankSlide(ShowDocument& show);
TSlideRecord* AddBlankSlide(TDynaArray& slides, void** currentNode);
// Appends a slide for picture (which the slide takes over) made from
// fileName, with the values a newly added picture gets.
TSlideRecord* AddNewSlide(ShowDocument& show, const TDibRecord& picture, const QString& fileName);
// The values a newly added picture gets, for every field but Dib and FileName.
void SetNewSlideValues(TSlideRecord& slide);

// Releases everything the slide owns; its fields are left zero.
void ReleaseSlide(TSlideRecord& slide);
// Releases slide i and deletes it from the list.
void RemoveSlide(ShowDocument& show, int32_t i);
void RemoveSlide(TDynaArray& slides, int32_t i);
// Releases every slide and empties the list.
void ClearSlides(TDynaArray& slides);

// Replaces the slide's picture by picture (taken over); the old one and its
// kept bytes are released.
void SetSlidePicture(TSlideRecord& slide, const TDibRecord& picture);
// Keeps bytes as the encoded form of the slide's current picture. A caller
// that already has the picture's fingerprint passes it; 0 takes it here.
void KeepPictureBytes(TSlideRecord& slide, uint8_t format, std::vector<uint8_t> bytes, uint64_t fingerprint = 0);
// Drops the kept bytes. Editing a picture need not call it (the kept bytes
// are checked against the picture's content), but it frees them at once.
void PictureChanged(TSlideRecord& slide);
// The kept bytes when the slide's picture still shows what they were kept
// for, else null.
const TPictureBytes* UnchangedPictureBytes(const TSlideRecord& slide);

// A slide made from a video file (".AVI", ".MPE", ".MPA", ".MPG", ".MPEG").
bool IsVideoSlide(const TSlideRecord& slide);

// The collage group of slide i: its first slide and one past its last. A
// group starts at a slide that does not join the slides before it (or at the
// first slide, or at a video slide) and takes in every following slide with
// CollageMember 1 up to the next video slide. Composition, the show's timing
// and stepping forward and back all go by this one rule, so every slide is
// shown exactly once per pass.
struct SlideGroup {
    int32_t First;
    int32_t End;
};
SlideGroup CollageGroup(const TDynaArray& slides, int32_t i);

// Sets EffectInUse: Effect when 1..36, otherwise 1 + Random(36).
void ChooseEffect(TSlideRecord& slide);

} // namespace show
