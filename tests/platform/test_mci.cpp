// Music and slide sounds, heard through SDL's "disk" audio driver: the mixed
// output lands in a raw file (signed 16-bit stereo, 44100 Hz) in real audio
// time, so the tests can check what was actually played.
//
// The audio device plays in real time, so these tests run one at a time
// (RUN_SERIAL, tests/CMakeLists.txt), and every piece lasts long enough that
// a test thread held up for most of a second under load still finds it
// where it expects; waits for an end are bounded at ten seconds. What was
// heard is checked in the output, which does not depend on timing.

#include "platform/mci.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using platform::mciSendString;
using platform::TMediaPlayer;
using platform::TMPModes;

namespace {

constexpr int kRate = 44100;
// The bound on waiting for a piece to end.
constexpr int kEndWithinMs = 10000;

struct Reply {
    uint32_t code;
    std::string text;
};

Reply send(const std::string& command)
{
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    const uint32_t code = mciSendString(command.c_str(), buffer, sizeof buffer, nullptr);
    return {code, buffer};
}

std::string mode() { return send("status musik mode").text; }

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls until done() holds or timeoutMs has passed; answers done().
bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        sleepMs(5);
    return done();
}

void putLe(QByteArray& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A 16-bit stereo WAV holding the one sample value throughout, so every
// frame it contributes to the mix can be recognised in the output.
void writeWav(const QString& path, int milliseconds, int16_t value)
{
    const uint32_t frames = uint32_t(kRate) * uint32_t(milliseconds) / 1000u;
    const uint32_t dataBytes = frames * 4;
    QByteArray out("RIFF");
    putLe(out, 36 + dataBytes, 4);
    out.append("WAVEfmt ");
    putLe(out, 16, 4);
    putLe(out, 1, 2);          // PCM
    putLe(out, 2, 2);          // channels
    putLe(out, kRate, 4);
    putLe(out, kRate * 4, 4);  // bytes per second
    putLe(out, 4, 2);          // block align
    putLe(out, 16, 2);         // bits
    out.append("data");
    putLe(out, dataBytes, 4);
    for (uint32_t i = 0; i < frames * 2; ++i)
        putLe(out, uint16_t(value), 2);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(out);
}

// A one-track MIDI file: a C major third on the piano for one second,
// 24 ticks of 96 per beat at 15 beats per minute (at the default tempo of
// 120 it would last 125 ms).
void writeMidi(const QString& path)
{
    const unsigned char bytes[] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
        'M', 'T', 'r', 'k', 0, 0, 0, 30,
        0x00, 0xFF, 0x51, 0x03, 0x3D, 0x09, 0x00, // 4 s per beat
        0x00, 0xC0, 0x00,             // piano
        0x00, 0x90, 0x3C, 0x64,       // C4 on
        0x00, 0x90, 0x40, 0x64,       // E4 on
        0x18, 0x80, 0x3C, 0x40,       // 24 ticks later: C4 off
        0x00, 0x80, 0x40, 0x40,       // E4 off
        0x00, 0xFF, 0x2F, 0x00,       // end of track
    };
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool writeMp3(const QString& path)
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        return false;
    const int rc = QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                "sine=frequency=440:duration=1", "-ar", "44100",
                                                "-ac", "2", path});
    return rc == 0 && QFile::exists(path);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Every test starts with the audio device closed and the disk driver
// chosen, writing into a fresh file of its own.
class Sound : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_output = m_dir.filePath("output.raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_output.toLocal8Bit().constData(), 1);
        platform::shutdownSound();
    }
    void TearDown() override
    {
        mciSendString("close all", nullptr, 0, nullptr);
        platform::shutdownSound();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Closes the device (which flushes the file) and reads what was played.
    std::vector<int16_t> playedSamples()
    {
        platform::shutdownSound();
        QFile f(m_output);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray raw = f.readAll();
        std::vector<int16_t> samples(size_t(raw.size()) / 2);
        std::memcpy(samples.data(), raw.constData(), samples.size() * 2);
        return samples;
    }

    QTemporaryDir m_dir;
    QString m_output;
};

size_t countFrames(const std::vector<int16_t>& s, int16_t value)
{
    size_t n = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        n += s[i] == value && s[i + 1] == value;
    return n;
}

// Runs of frames holding value, separated by at least one silent frame.
int countBursts(const std::vector<int16_t>& s, int16_t value)
{
    int bursts = 0;
    bool inBurst = false;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        if (s[i] == value && !inBurst) {
            ++bursts;
            inBurst = true;
        } else if (s[i] == 0 && s[i + 1] == 0) {
            inBurst = false;
        }
    }
    return bursts;
}

int peak(const std::vector<int16_t>& s)
{
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(int(v)));
    return p;
}

enum class Kind { Wav, Midi, Mp3 };
struct MusicCase {
    const char* label;
    Kind kind;
    const char* fileName;
    bool quoted;
    int stillPlayingAtMs; // well inside the piece
};

void PrintTo(const MusicCase& c, std::ostream* os) { *os << c.label; }

class MusicFormats : public Sound, public testing::WithParamInterface<MusicCase> {};

} // namespace

// Each format plays through the music stream: "playing" at once after the
// play command, audible in the output, and "stopped" once it has played out.
TEST_P(MusicFormats, PlaysAndReportsItsMode)
{
    const MusicCase& c = GetParam();
    const QString file = path(c.fileName);
    switch (c.kind) {
    case Kind::Wav: writeWav(file, 1000, 6000); break;
    case Kind::Midi: writeMidi(file); break;
    case Kind::Mp3:
        if (!writeMp3(file))
            GTEST_SKIP() << "ffmpeg cannot make an MP3 here";
        break;
    }
    const std::string name = file.toStdString();
    const std::string open = "open " + (c.quoted ? "\"" + name + "\"" : name) + " alias musik";

    ASSERT_EQ(send(open).code, 0u) << open;
    EXPECT_EQ(mode(), "stopped");
    ASSERT_EQ(send("play musik from 0").code, 0u);
    EXPECT_EQ(mode(), "playing");
    sleepMs(c.stillPlayingAtMs);
    EXPECT_EQ(mode(), "playing") << "the piece ended before " << c.stillPlayingAtMs << " ms";
    EXPECT_TRUE(waitFor([] { return mode() == "stopped"; }, kEndWithinMs)) << "the piece never ended";
    EXPECT_EQ(send("close musik").code, 0u);
    EXPECT_EQ(mode(), "not ready");

    const auto played = playedSamples();
    EXPECT_GT(peak(played), 500) << "nothing audible reached the output";
    if (c.kind == Kind::Wav) {
        // The WAV's frames pass the mixer unchanged: about 1 s of them.
        const size_t frames = countFrames(played, 6000);
        EXPECT_GT(frames, size_t(kRate) * 4 / 5);
        EXPECT_LE(frames, size_t(kRate));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mci, MusicFormats,
    testing::Values(MusicCase{"WavNameWithSpaces", Kind::Wav, "Musik mit Leerzeichen.wav", false, 100},
                    MusicCase{"MidiQuoted", Kind::Midi, "Melodie Eins.mid", true, 450},
                    MusicCase{"Mp3", Kind::Mp3, "lied.mp3", false, 100}),
    [](const testing::TestParamInfo<MusicCase>& row) { return std::string(row.param.label); });

// Files that cannot be played leave nothing open: every command on the
// alias fails, and the mode stays "not ready", so the music loop of the show
// sees no change and sends nothing further.
TEST_F(Sound, UnplayableMusicLeavesTheAliasNotReady)
{
    writeBytes(path("kaputt.mid"), QByteArray("this is not a sound at all"));
    writeBytes(path("leer.wav"), QByteArray());
    const char* files[] = {"fehlt.wav", "kaputt.mid", "leer.wav"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        EXPECT_NE(send("open " + path(name).toStdString() + " alias musik").code, 0u);
        EXPECT_NE(send("play musik from 0").code, 0u);
        const Reply status = send("status musik mode");
        EXPECT_NE(status.code, 0u);
        EXPECT_EQ(status.text, "not ready");
        EXPECT_NE(send("close musik").code, 0u);
    }

    // A second open of a live alias fails and keeps the first piece.
    writeWav(path("a.wav"), 10000, 1000);
    ASSERT_EQ(send("open " + path("a.wav").toStdString() + " alias musik").code, 0u);
    ASSERT_EQ(send("play musik from 0").code, 0u);
    EXPECT_NE(send("open " + path("a.wav").toStdString() + " alias MUSIK").code, 0u);
    EXPECT_EQ(mode(), "playing");

    EXPECT_NE(send("status musik length").code, 0u);
    EXPECT_NE(send("rewind musik").code, 0u);
    EXPECT_NE(send("open").code, 0u);
}

TEST_F(Sound, PauseStopAndCloseChangeTheMode)
{
    writeWav(path("a.wav"), 10000, 1000);
    ASSERT_EQ(send("OPEN " + path("a.wav").toStdString() + " ALIAS Musik").code, 0u);
    const std::pair<const char*, const char*> steps[] = {
        {"play musik from 0", "playing"}, {"pause musik", "paused"},
        {"resume musik", "playing"},      {"stop musik", "stopped"},
        {"play musik", "playing"},        {"close musik", "not ready"},
    };
    for (const auto& [command, expected] : steps) {
        EXPECT_EQ(send(command).code, 0u) << command;
        EXPECT_EQ(mode(), expected) << "after " << command;
    }

    // The answer never overruns a short buffer.
    ASSERT_EQ(send("open " + path("a.wav").toStdString() + " alias musik").code, 0u);
    ASSERT_EQ(send("play musik from 0").code, 0u);
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(mciSendString("status musik mode", small, 4, nullptr), platform::MCIERR_PARAM_OVERFLOW);
    EXPECT_EQ(std::string(small), "pla");
    EXPECT_EQ(small[4], 'x');
}

// The show's music loop: on every 50 ms tick it asks for the mode and, when
// the answer differs from the last one, plays the music from the start. A
// short piece therefore ends, is restarted on the next tick, and reports
// "playing" again at once, which counts as one more change and restarts it
// once more; the music never falls silent for longer than a tick.
TEST_F(Sound, MusicLoopRestartsOnEveryChangeOfMode)
{
    writeWav(path("kurz.wav"), 600, 3000);
    ASSERT_EQ(send("open " + path("kurz.wav").toStdString() + " alias musik").code, 0u);
    ASSERT_EQ(send("play musik from 0").code, 0u);
    std::string last = mode();
    ASSERT_EQ(last, "playing");

    std::vector<std::string> reports;
    int restarts = 0;
    int stops = 0;
    for (int tick = 0; tick < 400 && (stops < 3 || last != "playing"); ++tick) {
        sleepMs(50);
        const std::string now = mode();
        reports.push_back(now);
        if (now != last) {
            ASSERT_EQ(send("play musik from 0").code, 0u);
            ++restarts;
        }
        stops += now == "stopped";
        last = now;
    }
    ASSERT_GE(stops, 3) << "the piece never ended";

    // Every "stopped" is answered by a restart that is "playing" on the very
    // next tick, and that return is a change of its own.
    for (size_t i = 0; i < reports.size(); ++i) {
        if (reports[i] == "stopped") {
            ASSERT_LT(i + 1, reports.size());
            EXPECT_EQ(reports[i + 1], "playing") << "tick " << i + 1;
        }
    }
    EXPECT_EQ(restarts, 2 * stops);

    sleepMs(30);
    const auto played = playedSamples();
    EXPECT_GE(countBursts(played, 3000), stops + 1) << "the music was not heard again after it ended";
}

// A slide sound plays on a channel of its own, mixed over the music.
TEST_F(Sound, MediaPlayerPlaysASlideSoundOverTheMusic)
{
    writeWav(path("musik.wav"), 4000, 3000);
    writeWav(path("ding.wav"), 150, 5000);
    ASSERT_EQ(send("open " + path("musik.wav").toStdString() + " alias musik").code, 0u);
    ASSERT_EQ(send("play musik from 0").code, 0u);

    TMediaPlayer player;
    EXPECT_EQ(player.Mode(), TMPModes::mpNotReady);
    player.FileName = path("ding.wav").replace('/', '\\'); // as a Windows show names it
    ASSERT_TRUE(player.Open());
    EXPECT_EQ(player.Mode(), TMPModes::mpStopped);
    sleepMs(60);
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_TRUE(waitFor([&] { return !player.IsPlaying(); }, kEndWithinMs));
    EXPECT_EQ(player.Mode(), TMPModes::mpStopped);
    EXPECT_EQ(mode(), "playing") << "the slide sound must not stop the music";

    // Stop takes effect at once; a stopped sound plays again; Close unloads it.
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.Pause());
    EXPECT_EQ(player.Mode(), TMPModes::mpPaused);
    EXPECT_TRUE(player.Play());
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_TRUE(player.Stop());
    EXPECT_EQ(player.Mode(), TMPModes::mpStopped);
    player.Close();
    EXPECT_EQ(player.Mode(), TMPModes::mpNotReady);
    EXPECT_FALSE(player.Play());

    EXPECT_TRUE(waitFor([] { return mode() == "stopped"; }, kEndWithinMs));
    const auto played = playedSamples();
    EXPECT_GT(countFrames(played, 3000 + 5000), size_t(kRate) / 10) << "sound and music never sounded together";
    EXPECT_GT(countFrames(played, 3000), size_t(kRate) / 10);
}

// A MIDI slide sound is rendered ahead and ends with its last note, not
// after the synthesizer's seconds of trailing silence.
TEST_F(Sound, MediaPlayerPlaysMidiToItsEnd)
{
    writeMidi(path("klang.mid"));
    TMediaPlayer player;
    player.FileName = path("klang.mid");
    ASSERT_TRUE(player.Open());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.Play());
    sleepMs(300);
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_TRUE(waitFor([&] { return !player.IsPlaying(); }, kEndWithinMs));
    // 1 s of notes and the ring-out; the synthesizer's silence after them
    // would keep it going for seconds more.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 3000) << "the sound did not end with its last note";
    EXPECT_GT(peak(playedSamples()), 500);
}

TEST_F(Sound, MediaPlayerFailuresAnswerFalse)
{
    writeBytes(path("kaputt.wav"), QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    const QString names[] = {QString(), path("fehlt.wav"), path("kaputt.wav"), m_dir.path()};
    TMediaPlayer player;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        player.FileName = name;
        EXPECT_FALSE(player.Open());
        EXPECT_EQ(player.Mode(), TMPModes::mpNotReady);
        EXPECT_FALSE(player.Play());
        EXPECT_FALSE(player.Stop());
    }
}

// Without a usable sound card the programs fall back to SDL's silent
// device, which still runs in real time: a piece is "playing" for as long
// as it lasts.
TEST_F(Sound, FallsBackToTheSilentDevice)
{
    setenv("SDL_AUDIODRIVER", "no-such-sound-card", 1);
    writeWav(path("a.wav"), 1000, 1000);
    ASSERT_EQ(send("open " + path("a.wav").toStdString() + " alias musik").code, 0u);
    EXPECT_EQ(platform::soundDriverName(), "dummy");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(send("play musik from 0").code, 0u);
    EXPECT_EQ(mode(), "playing");
    ASSERT_TRUE(waitFor([] { return mode() == "stopped"; }, kEndWithinMs));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 800) << "the silent device must not rush through the piece";

    TMediaPlayer player;
    player.FileName = path("a.wav");
    ASSERT_TRUE(player.Open());
    EXPECT_TRUE(player.Play());
    EXPECT_TRUE(player.IsPlaying());
}

namespace {

// A sound of any format made by ffmpeg from a sine tone; false without it.
bool writeTone(const QString& path, double seconds, int rate, int channels, const QStringList& codec = {})
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        return false;
    QStringList args = {"-v", "error", "-y", "-f", "lavfi", "-i",
                        QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), "-ar",
                        QString::number(rate), "-ac", QString::number(channels)};
    args << codec << path;
    return QProcess::execute("ffmpeg", args) == 0 && QFile::exists(path);
}

size_t audibleFrames(const std::vector<int16_t>& s)
{
    size_t n = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        n += std::abs(int(s[i])) > 50 || std::abs(int(s[i + 1])) > 50;
    return n;
}

} // namespace

// Every format a slide sound comes in decodes to the mixer's format: it is
// heard for as long as the file lasts, whatever its rate and channels.
TEST_F(Sound, MediaPlayerDecodesEveryFormatAtItsLength)
{
    struct Case {
        const char* file;
        int rate;
        int channels;
        QStringList codec;
    };
    const Case cases[] = {
        {"mono22k.mp3", 22050, 1, {}},
        {"stereo.mp3", 44100, 2, {}},
        {"ton.ogg", 32000, 2, {"-c:a", "libvorbis"}},
        {"ton.flac", 48000, 1, {}},
        {"ton.wav", 22050, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (!writeTone(path(c.file), 0.4, c.rate, c.channels, c.codec))
            GTEST_SKIP() << "ffmpeg cannot make " << c.file << " here";
        TMediaPlayer player;
        player.FileName = path(c.file);
        ASSERT_TRUE(player.Open());
        ASSERT_TRUE(player.Play());
        EXPECT_TRUE(player.IsPlaying());
        EXPECT_TRUE(waitFor([&] { return !player.IsPlaying(); }, kEndWithinMs));
        const auto played = playedSamples();
        EXPECT_GT(peak(played), 2000); // the tone is at 1/8 of full scale
        // 0.4 s of tone; decoders may pad or trim a frame or two.
        EXPECT_GT(audibleFrames(played), size_t(kRate) * 35 / 100);
        EXPECT_LT(audibleFrames(played), size_t(kRate) * 45 / 100);
    }
}

// PlayWhenReady never waits for the decode: the player counts as playing
// from the call on, and the sound starts once it is decoded.
TEST_F(Sound, PlayWhenReadyPlaysOnceDecodedWithoutWaiting)
{
    writeWav(path("lang.wav"), 10000, 5000);
    platform::SoundDecodeHold hold;
    TMediaPlayer player;
    player.FileName = path("lang.wav");
    player.PlayWhenReady(); // returns although the decode cannot even begin
    EXPECT_TRUE(player.Loading());
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(hold.requested(), 1);

    hold.release();
    player.WaitForLoad();
    EXPECT_FALSE(player.Loading());
    EXPECT_EQ(player.Mode(), TMPModes::mpPlaying);
    EXPECT_TRUE(player.Stop());
    EXPECT_EQ(player.Mode(), TMPModes::mpStopped);

    // Asked again, the open sound plays from the start without a decode.
    {
        platform::SoundDecodeHold again;
        player.PlayWhenReady();
        EXPECT_EQ(again.requested(), 0);
        EXPECT_FALSE(player.Loading());
        EXPECT_EQ(player.Mode(), TMPModes::mpPlaying);
    }
}

// Stop before the decode is done: the sound never starts, and stays open.
TEST_F(Sound, StopBeforeTheDecodeKeepsTheSoundSilent)
{
    writeWav(path("lang.wav"), 10000, 5000);
    TMediaPlayer player;
    {
        platform::SoundDecodeHold hold;
        player.FileName = path("lang.wav");
        player.PlayWhenReady();
        EXPECT_TRUE(player.Stop());
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(player.Mode(), TMPModes::mpStopped);
    }
    player.WaitForLoad();
    EXPECT_EQ(player.Mode(), TMPModes::mpStopped);
    EXPECT_EQ(countFrames(playedSamples(), 5000), 0u) << "a stopped sound was heard";
}

// A sound decoded ahead is taken over by the play that asks for the same,
// unchanged file; any other file, or the same one changed, decodes anew.
TEST_F(Sound, PreloadIsTakenOverByPlayingTheSameFile)
{
    writeWav(path("a.wav"), 10000, 1000);
    writeWav(path("b.wav"), 10000, 2000);
    platform::SoundDecodeHold hold;
    TMediaPlayer player;
    player.Preload(path("a.wav"));
    player.Preload(path("a.wav"));
    EXPECT_EQ(hold.requested(), 1);
    player.FileName = path("a.wav");
    player.PlayWhenReady();
    EXPECT_EQ(hold.requested(), 1) << "the sound decoded ahead was not used";
    EXPECT_TRUE(player.IsPlaying());

    player.Preload(path("b.wav"));
    EXPECT_EQ(hold.requested(), 2);
    writeWav(path("b.wav"), 5000, 3000); // changed after it was read ahead
    player.FileName = path("b.wav");
    player.PlayWhenReady();
    EXPECT_EQ(hold.requested(), 3);

    hold.release();
    player.WaitForLoad();
    EXPECT_EQ(player.Mode(), TMPModes::mpPlaying);
    player.Stop();
    const auto played = playedSamples();
    EXPECT_EQ(countFrames(played, 1000), 0u) << "the first sound played after the second was asked for";
    EXPECT_EQ(countFrames(played, 2000), 0u) << "the changed file played as it was before";
}

// Closing or destroying a player while its sound and the one ahead decode,
// and closing the sound system under them, leaves nothing behind; a file
// that does not decode ends the playing state once that is known.
TEST_F(Sound, PlayersGoAwayWhileTheirSoundsDecode)
{
    writeWav(path("a.wav"), 3000, 1000);
    writeBytes(path("kaputt.wav"), QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    {
        platform::SoundDecodeHold hold;
        {
            TMediaPlayer gone;
            gone.FileName = path("a.wav");
            gone.PlayWhenReady();
            gone.Preload(path("kaputt.wav"));
        }
        TMediaPlayer closed;
        closed.FileName = path("a.wav");
        closed.PlayWhenReady();
        closed.Close();
        EXPECT_EQ(closed.Mode(), TMPModes::mpNotReady);

        TMediaPlayer broken;
        broken.FileName = path("kaputt.wav");
        broken.PlayWhenReady();
        EXPECT_TRUE(broken.IsPlaying());
        hold.release();
        broken.WaitForLoad();
        EXPECT_FALSE(broken.IsPlaying());
        EXPECT_EQ(broken.Mode(), TMPModes::mpNotReady);

        TMediaPlayer missing;
        missing.FileName = path("fehlt.wav");
        missing.PlayWhenReady();
        EXPECT_FALSE(missing.IsPlaying());
    }
    {
        platform::SoundDecodeHold hold;
        TMediaPlayer player;
        player.FileName = path("a.wav");
        player.PlayWhenReady();
        player.Preload(path("kaputt.wav"));
        platform::shutdownSound(); // while both decodes wait
        EXPECT_EQ(player.Mode(), TMPModes::mpNotReady);
        hold.release();
        ASSERT_TRUE(player.Open()) << "the sound system did not come back";
    }
}
