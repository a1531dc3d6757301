// make-demo FOLDER: writes the bundled demo show into FOLDER: demo.sli with
// pictures painted here, and its background music, demo.mid, a little tune
// written note by note. Nothing in it comes from anywhere else.

#include "platform/wintypes.h"
#include "raster/rasterio.h"
#include "show/showfile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;

// A painted picture as a 24-bit image.
raster::TDibRecord toDib(const QImage& painted)
{
    const QImage image = painted.convertToFormat(QImage::Format_RGB888);
    raster::TDibRecord dib;
    raster::newdib(&dib, image.width(), image.height(), 24, nullptr, 0);
    if (!dib.Bits)
        return dib;
    for (int t = 0; t < image.height(); ++t) {
        const uchar* in = image.constScanLine(t);
        uint8_t* out = raster::DibRow(dib, t);
        for (int x = 0; x < image.width(); ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return dib;
}

QImage sunset()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(20, 24, 80));
    sky.setColorAt(0.55, QColor(250, 120, 60));
    sky.setColorAt(0.7, QColor(255, 200, 90));
    p.fillRect(image.rect(), sky);
    QRadialGradient sun(kWidth * 0.62, kHeight * 0.66, 130);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 170, 60, 0));
    p.setBrush(sun);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(kWidth * 0.62, kHeight * 0.66), 130, 130);
    p.fillRect(QRect(0, int(kHeight * 0.7), kWidth, kHeight), QColor(30, 40, 90));
    for (int i = 0; i < 40; ++i) // glitter on the water
        p.fillRect(QRect(int(kWidth * 0.62) - 150 + (i * 37) % 300, int(kHeight * 0.72) + i * 7, 60 - i, 3),
                   QColor(255, 200, 120));
    return image;
}

QImage mountains()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(90, 160, 230));
    sky.setColorAt(1, QColor(220, 240, 255));
    p.fillRect(image.rect(), sky);
    const QColor ranges[] = {QColor(120, 130, 160), QColor(70, 100, 90), QColor(40, 70, 50)};
    for (int r = 0; r < 3; ++r) {
        QPainterPath path(QPointF(0, kHeight));
        for (int x = 0; x <= kWidth; x += 40) {
            const double y = kHeight * (0.45 + 0.12 * r) - 160 * std::fabs(std::sin((x + r * 300) / (220.0 + 60 * r))) -
                             40 * std::sin(x / 57.0 + r);
            path.lineTo(x, y);
        }
        path.lineTo(kWidth, kHeight);
        p.fillPath(path, ranges[r]);
    }
    return image;
}

QImage tiles(int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    const int cell = 100;
    for (int y = 0; y < kHeight; y += cell)
        for (int x = 0; x < kWidth; x += cell) {
            const int k = (x / cell * 7 + y / cell * 13 + seed * 5) % 12;
            p.fillRect(QRect(x, y, cell, cell), QColor::fromHsv(k * 30, 150 + seed * 20, 230));
            p.fillRect(QRect(x + 25, y + 25, 50, 50), QColor::fromHsv((k * 30 + 180) % 360, 120, 250));
        }
    return image;
}

QImage circles()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(16, 16, 32));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 60; ++i) {
        const double x = (i * 263) % kWidth, y = (i * 151) % kHeight, r = 30 + (i * 37) % 120;
        p.setBrush(QColor::fromHsv((i * 47) % 360, 200, 255, 160));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(x, y), r, r);
    }
    return image;
}

QImage rings()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QRadialGradient g(kWidth / 2.0, kHeight / 2.0, kWidth / 1.5);
    for (int i = 0; i <= 10; ++i)
        g.setColorAt(i / 10.0, i % 2 ? QColor(250, 230, 120) : QColor(200, 60, 90));
    p.fillRect(image.rect(), g);
    return image;
}

// A short tune in C major as a standard MIDI file (format 0, one track).
QByteArray tune()
{
    QByteArray track;
    auto delta = [&track](uint32_t ticks) {
        uint8_t bytes[4];
        int n = 0;
        bytes[n++] = ticks & 0x7F;
        while (ticks >>= 7)
            bytes[n++] = uint8_t(0x80 | (ticks & 0x7F));
        while (n--)
            track.append(char(bytes[n]));
    };
    auto event = [&track](std::initializer_list<int> bytes) {
        for (int b : bytes)
            track.append(char(b));
    };
    delta(0), event({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}); // 500000 us per quarter: 120 bpm
    delta(0), event({0xC0, 0});                             // piano
    const int melody[] = {60, 64, 67, 72, 67, 64, 65, 69, 72, 77, 72, 69,
                          67, 71, 74, 79, 74, 71, 72, 67, 64, 60, 64, 67};
    for (int note : melody) {
        delta(0), event({0x90, note, 80});
        delta(0), event({0x90, note - 12, 60});
        delta(240), event({0x80, note, 0});
        delta(0), event({0x80, note - 12, 0});
    }
    delta(0), event({0xFF, 0x2F, 0x00});

    QByteArray file("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14); // 480 ticks per quarter
    file.append("MTrk");
    const uint32_t n = uint32_t(track.size());
    file.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    file.append(track);
    return file;
}

show::TSlideRecord* addSlide(show::ShowDocument& show, const QImage& picture, const QString& name, int effect)
{
    show::TSlideRecord* slide = show::AddNewSlide(show, toDib(picture), name);
    if (!slide)
        return nullptr;
    slide->Effect = effect;
    slide->TransTime = 1200;
    slide->PauseTime = 1800;
    slide->Font->Size = 28;
    slide->BorderColor = platform::RGB(0, 0, 0);
    return slide;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1) {
        std::fprintf(stderr, "Aufruf: make-demo ORDNER\n");
        return 2;
    }
    const QString folder = QDir(args[0]).absolutePath() + QLatin1Char('/');
    QDir().mkpath(folder);

    QFile music(folder + QStringLiteral("demo.mid"));
    if (!music.open(QIODevice::WriteOnly) || music.write(tune()) < 0)
        return 1;
    music.close();

    show::ShowDocument show;
    show.Settings.MusicFile = folder + QStringLiteral("demo.mid");
    show.Settings.EndMode = show::emQuit;
    show.Settings.FullScreen = true;
    show.Settings.PlayBar = false;

    show::TSlideRecord* s = addSlide(show, sunset(), folder + "abendrot.jpg", 1);
    show::SetString(s->Comment, QStringLiteral("Willkommen bei Lumivox\r\nBilder, die sich bewegen"));
    s->TextPosition = 7;

    s = addSlide(show, mountains(), folder + "berge.jpg", 2);
    s->Frame = {100, 100, 800, 800};
    s->PauseTime = 2400;
    *static_cast<show::TNodePoint*>(s->Nodes->Add()) = {100, 50};
    *static_cast<show::TNodePoint*>(s->Nodes->Add()) = {200, 100};
    show::SetString(s->Comment, QStringLiteral("Auf einem Pfad durchs Bild"));
    s->TextPosition = 1;

    s = addSlide(show, tiles(0), folder + "kacheln.jpg", 31);
    s->Frame = {30, 200, 480, 800};
    s->BackColor = platform::RGB(40, 40, 60);
    show::SetString(s->Comment, QStringLiteral("Eine Collage aus zwei Bildern"));
    s->TextPosition = 10;
    s = addSlide(show, tiles(2), folder + "kacheln2.jpg", 0);
    s->CollageMember = 1;
    s->Frame = {520, 200, 970, 800};

    s = addSlide(show, circles(), folder + "kreise.jpg", 33);
    show::SetString(s->Comment, QStringLiteral("Radar"));
    s->TextPosition = 4;
    s->Font->Color = platform::RGB(255, 230, 0);

    addSlide(show, rings(), folder + "ringe.jpg", 13);

    s = addSlide(show, sunset(), folder + "abendrot2.jpg", 35);
    show::SetString(s->Comment, QStringLiteral("Ende"));
    s->TextPosition = 16;

    if (!show::SaveFile(show, folder + QStringLiteral("demo.sli"), false))
        return 1;
    std::printf("%s\n", qPrintable(folder + QStringLiteral("demo.sli")));
    return 0;
}
