#include "platform/scanner.h"

#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

namespace platform {

namespace {

// Limits on what a device announces, checked before anything is allocated:
// the side of a picture in pixels, and the bytes of a frame or a picture.
constexpr int64_t kMaxSide = 30000;
constexpr uint64_t kMaxBytes = uint64_t(1) << 30;

QString section() { return QStringLiteral("Scanner"); }
QString deviceKey() { return QStringLiteral("Device"); }

QString noScannerText() { return QStringLiteral("Es wurde kein Scanner gefunden."); }
QString busyText()
{
    return QStringLiteral("Der Scanner ist noch besch\u00e4ftigt. Bitte warten Sie, bis das Bild fertig gescannt ist.");
}
QString notFoundText(const QString& name)
{
    return QStringLiteral("Der Scanner %1 wurde nicht gefunden. Bitte w\u00e4hlen Sie ein anderes Ger\u00e4t.").arg(name);
}
QString cannotOpenText(const QString& name)
{
    return QStringLiteral("Der Scanner %1 konnte nicht ge\u00f6ffnet werden.").arg(name);
}
QString settingsRejectedText() { return QStringLiteral("Der Scanner hat die Einstellungen nicht angenommen."); }
QString noMemoryText() { return QStringLiteral("Fehler: nicht genug Speicher f\u00fcr diese Operation!"); }
QString failedText(const QString& reason)
{
    return QStringLiteral("Das Bild konnte nicht gescannt werden.\n") + reason;
}
QString incompleteText() { return QStringLiteral("Der Scanner hat das Bild nicht vollst\u00e4ndig geliefert."); }
QString surplusText() { return QStringLiteral("Der Scanner hat mehr Daten geliefert, als er angek\u00fcndigt hat."); }
QString tooLargeText()
{
    return QStringLiteral("Das Bild ist zu gro\u00df (h\u00f6chstens 30000 \u00d7 30000 Bildpunkte und 1 GB).");
}
QString unsupportedText()
{
    return QStringLiteral("Der Scanner liefert ein Bildformat, das nicht unterst\u00fctzt wird.");
}

QString statusReason(SANE_Status status)
{
    switch (status) {
    case SANE_STATUS_DEVICE_BUSY: return QStringLiteral("Der Scanner ist belegt.");
    case SANE_STATUS_JAMMED: return QStringLiteral("Im Scanner hat sich das Papier gestaut.");
    case SANE_STATUS_NO_DOCS: return QStringLiteral("Im Scanner liegt keine Vorlage.");
    case SANE_STATUS_COVER_OPEN: return QStringLiteral("Die Abdeckung des Scanners ist offen.");
    case SANE_STATUS_ACCESS_DENIED: return QStringLiteral("Der Zugriff auf den Scanner wurde verweigert.");
    case SANE_STATUS_NO_MEM: return QStringLiteral("Es ist nicht genug Speicher vorhanden.");
    case SANE_STATUS_IO_ERROR: return QStringLiteral("Die Verbindung zum Scanner ist gest\u00f6rt.");
    default: return QStringLiteral("Der Scanner meldet einen Fehler.");
    }
}

// The colour modes under the names the dialog shows; other modes keep the
// device's own name.
QString modeLabel(const QString& value)
{
    if (value == QLatin1String(SANE_VALUE_SCAN_MODE_COLOR))
        return QStringLiteral("Farbe");
    if (value == QLatin1String(SANE_VALUE_SCAN_MODE_GRAY))
        return QStringLiteral("Graustufen");
    if (value == QLatin1String(SANE_VALUE_SCAN_MODE_LINEART))
        return QStringLiteral("Schwarzwei\u00df");
    if (value == QLatin1String(SANE_VALUE_SCAN_MODE_HALFTONE))
        return QStringLiteral("Raster");
    return value;
}

// SANE and the one scan that may run. Made on the window's thread at the
// first call, closed when the application ends.
struct Session {
    bool saneReady = false;
    QObject receiver;          // a finished scan reaches the window's thread through it
    QPointer<QObject> window;  // where the running scan's message goes
    bool busy = false;
    std::thread worker;
    std::mutex handleMutex;
    SANE_Handle scanning = nullptr; // the running scan's device until the worker closes it
    bool workerDone = false;        // under handleMutex
    std::condition_variable workerEnded;
};

Session* g_session = nullptr;
ScannerDialogScript* g_script = nullptr;

std::mutex g_pictureMutex;
std::map<intptr_t, std::unique_ptr<ScannedPicture>> g_pictures;
intptr_t g_lastHandle = 0;

void dropPictures()
{
    const std::lock_guard lock(g_pictureMutex);
    g_pictures.clear();
}

void closeSession()
{
    Session* s = std::exchange(g_session, nullptr);
    if (!s)
        return;
    dropPictures();
    if (s->worker.joinable()) {
        std::unique_lock lock(s->handleMutex);
        if (s->scanning)
            sane_cancel(s->scanning);
        // A device that does not come back does not keep the program from
        // ending: its thread and SANE are then left as they are.
        if (!s->workerEnded.wait_for(lock, std::chrono::seconds(10), [s] { return s->workerDone; })) {
            lock.unlock();
            s->worker.detach();
            return;
        }
        lock.unlock();
        s->worker.join();
    }
    const bool saneReady = s->saneReady;
    delete s; // a result still on its way to the receiver goes with it
    if (saneReady)
        sane_exit();
}

Session& session()
{
    if (!g_session) {
        g_session = new Session;
        SANE_Int version = 0;
        g_session->saneReady = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
        qAddPostRoutine(closeSession);
    }
    return *g_session;
}

QString fromSane(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

std::vector<ScannerDevice> findDevices(const Session& s)
{
    std::vector<ScannerDevice> found;
    const SANE_Device** list = nullptr;
    if (!s.saneReady || sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return found;
    for (; *list; ++list) {
        if ((*list)->name && *(*list)->name)
            found.push_back({fromSane((*list)->name), fromSane((*list)->vendor), fromSane((*list)->model)});
    }
    return found;
}

// ---- device options

struct Option {
    SANE_Int index;
    const SANE_Option_Descriptor* descriptor;
};

// The option of that name when the user may set it now.
std::optional<Option> findOption(SANE_Handle handle, const char* name)
{
    SANE_Int count = 0;
    if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return std::nullopt;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap)
            && SANE_OPTION_IS_SETTABLE(d->cap))
            return Option{i, d};
    }
    return std::nullopt;
}

// Sets a single-valued option from its text: "1"/"true" for switches, a
// number, or a string.
bool setOption(SANE_Handle handle, const QByteArray& name, const QByteArray& value)
{
    const auto option = findOption(handle, name.constData());
    if (!option)
        return false;
    const SANE_Option_Descriptor* d = option->descriptor;
    bool ok = true;
    SANE_Status status = SANE_STATUS_INVAL;
    if (d->type == SANE_TYPE_STRING) {
        if (d->size <= 0 || value.size() >= d->size)
            return false;
        std::vector<char> text(size_t(d->size), '\0');
        std::memcpy(text.data(), value.constData(), size_t(value.size()));
        status = sane_control_option(handle, option->index, SANE_ACTION_SET_VALUE, text.data(), nullptr);
    } else if (d->size == SANE_Int(sizeof(SANE_Word))) {
        SANE_Word word = 0;
        if (d->type == SANE_TYPE_BOOL)
            word = (value == "1" || value == "true") ? SANE_TRUE : SANE_FALSE;
        else if (d->type == SANE_TYPE_INT)
            word = value.toInt(&ok);
        else if (d->type == SANE_TYPE_FIXED)
            word = SANE_FIX(value.toDouble(&ok));
        else
            return false;
        if (ok)
            status = sane_control_option(handle, option->index, SANE_ACTION_SET_VALUE, &word, nullptr);
    }
    return ok && status == SANE_STATUS_GOOD;
}

// What the scan settings dialog offers for a device.
struct ScanOffer {
    std::vector<int> resolutions; // dpi, rising
    int presetResolution = 0;
    QStringList modes;            // SANE's names
    int presetMode = -1;
};

void readResolutions(SANE_Handle handle, ScanOffer& offer)
{
    const auto option = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
    if (!option)
        return;
    const SANE_Option_Descriptor* d = option->descriptor;
    if (d->size != SANE_Int(sizeof(SANE_Word)) || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED))
        return;
    const bool fixed = d->type == SANE_TYPE_FIXED;
    const auto dpi = [fixed](SANE_Word w) { return fixed ? int(std::lround(SANE_UNFIX(w))) : int(w); };
    SANE_Word current = 0;
    if (sane_control_option(handle, option->index, SANE_ACTION_GET_VALUE, &current, nullptr) != SANE_STATUS_GOOD)
        return;

    std::vector<int> values;
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
        const SANE_Word* list = d->constraint.word_list;
        for (SANE_Word k = 1; k <= list[0]; ++k)
            values.push_back(dpi(list[k]));
    } else {
        // A device with a range gets the usual steps within it.
        int low = 1;
        int high = 100000;
        if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
            low = dpi(d->constraint.range->min);
            high = dpi(d->constraint.range->max);
        }
        for (const int v : {50, 75, 100, 150, 200, 300, 400, 600, 1200, 2400, 4800}) {
            if (v >= low && v <= high)
                values.push_back(v);
        }
        values.push_back(dpi(current));
    }
    std::erase_if(values, [](int v) { return v <= 0 || v > 100000; });
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    if (values.empty())
        return;
    offer.resolutions = values;
    const int now = dpi(current);
    offer.presetResolution = *std::min_element(values.begin(), values.end(), [now](int a, int b) {
        return std::abs(int64_t(a) - now) < std::abs(int64_t(b) - now);
    });
}

void readModes(SANE_Handle handle, ScanOffer& offer)
{
    const auto option = findOption(handle, SANE_NAME_SCAN_MODE);
    if (!option)
        return;
    const SANE_Option_Descriptor* d = option->descriptor;
    if (d->type != SANE_TYPE_STRING || d->size <= 0 || d->constraint_type != SANE_CONSTRAINT_STRING_LIST
        || !d->constraint.string_list)
        return;
    std::vector<char> current(size_t(d->size) + 1, '\0');
    if (sane_control_option(handle, option->index, SANE_ACTION_GET_VALUE, current.data(), nullptr) != SANE_STATUS_GOOD)
        current.assign(current.size(), '\0');
    for (const SANE_String_Const* mode = d->constraint.string_list; *mode; ++mode)
        offer.modes << fromSane(*mode);
    offer.presetMode = std::max(0, int(offer.modes.indexOf(fromSane(current.data()))));
}

// ---- the two dialogs

QWidget* dialogParent(QObject* window)
{
    if (auto* widget = qobject_cast<QWidget*>(window))
        return widget->window();
    return QApplication::activeWindow();
}

QDialogButtonBox* dialogButtons(QDialog* dialog, const QString& okText)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(okText);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// The device chosen, or nothing on Cancel.
std::optional<QString> askDevice(const std::vector<ScannerDevice>& devices, const QString& remembered,
                                 QObject* window)
{
    int preselected = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == remembered)
            preselected = int(i);
    }
    if (ScannerDialogScript* script = g_script) {
        ++script->deviceChoices;
        script->offeredDevices = devices;
        script->preselectedDevice = devices[size_t(preselected)].name;
        for (const auto& device : devices) {
            if (!script->device.isEmpty() && device.name == script->device)
                return device.name;
        }
        return std::nullopt;
    }

    QDialog dialog(dialogParent(window));
    dialog.setObjectName(QStringLiteral("ScannerSelectDialog"));
    dialog.setWindowTitle(QStringLiteral("Scanner w\u00e4hlen"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Ger\u00e4t, von dem das Bild geholt werden soll:"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("ScannerList"));
    for (const auto& device : devices) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 %2 (%3)").arg(device.vendor, device.model, device.name), list);
        item->setData(Qt::UserRole, device.name);
    }
    list->setCurrentRow(preselected);
    layout->addWidget(list);
    layout->addWidget(dialogButtons(&dialog, QStringLiteral("OK")));
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return std::nullopt;
    return list->currentItem()->data(Qt::UserRole).toString();
}

struct ScanChoice {
    int resolution = 0; // 0: leave as it is
    QString mode;       // SANE's name; empty: leave as it is
    std::vector<std::pair<QByteArray, QByteArray>> deviceOptions;
};

// The settings for the scan, or nothing on Cancel.
std::optional<ScanChoice> askSettings(const QString& device, const ScanOffer& offer, QObject* window)
{
    QStringList labels;
    for (const auto& mode : offer.modes)
        labels << modeLabel(mode);
    const QString presetMode = offer.presetMode >= 0 ? offer.modes[offer.presetMode] : QString();

    if (ScannerDialogScript* script = g_script) {
        ++script->scanSettings;
        script->scanDevice = device;
        script->offeredResolutions = offer.resolutions;
        script->presetResolution = offer.presetResolution;
        script->offeredModes = labels;
        script->presetMode = offer.presetMode >= 0 ? labels[offer.presetMode] : QString();
        if (!script->scan)
            return std::nullopt;
        ScanChoice choice{offer.presetResolution, presetMode, script->deviceOptions};
        if (script->resolution != 0) {
            if (std::find(offer.resolutions.begin(), offer.resolutions.end(), script->resolution)
                == offer.resolutions.end())
                return std::nullopt;
            choice.resolution = script->resolution;
        }
        if (!script->mode.isEmpty()) {
            const auto index = labels.indexOf(script->mode);
            if (index < 0)
                return std::nullopt;
            choice.mode = offer.modes[index];
        }
        return choice;
    }

    QDialog dialog(dialogParent(window));
    dialog.setObjectName(QStringLiteral("ScanSettingsDialog"));
    dialog.setWindowTitle(QStringLiteral("Scannen - %1").arg(device));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    auto* resolutionBox = new QComboBox(&dialog);
    resolutionBox->setObjectName(QStringLiteral("ResolutionBox"));
    for (const int dpi : offer.resolutions) {
        resolutionBox->addItem(QString::number(dpi), dpi);
        if (dpi == offer.presetResolution)
            resolutionBox->setCurrentIndex(resolutionBox->count() - 1);
    }
    resolutionBox->setEnabled(!offer.resolutions.empty());
    form->addRow(QStringLiteral("Aufl\u00f6sung (dpi):"), resolutionBox);
    auto* modeBox = new QComboBox(&dialog);
    modeBox->setObjectName(QStringLiteral("ModeBox"));
    for (qsizetype i = 0; i < offer.modes.size(); ++i)
        modeBox->addItem(labels[i], offer.modes[i]);
    modeBox->setCurrentIndex(offer.presetMode);
    modeBox->setEnabled(!offer.modes.isEmpty());
    form->addRow(QStringLiteral("Farbmodus:"), modeBox);
    layout->addLayout(form);
    layout->addWidget(dialogButtons(&dialog, QStringLiteral("Scannen")));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ScanChoice{resolutionBox->currentData().toInt(), modeBox->currentData().toString(), {}};
}

bool applyChoice(SANE_Handle handle, const ScanChoice& choice)
{
    // The mode first: a device may offer other resolutions in another mode.
    if (!choice.mode.isEmpty() && !setOption(handle, SANE_NAME_SCAN_MODE, choice.mode.toUtf8()))
        return false;
    if (choice.resolution > 0
        && !setOption(handle, SANE_NAME_SCAN_RESOLUTION, QByteArray::number(choice.resolution)))
        return false;
    for (const auto& [name, value] : choice.deviceOptions) {
        if (!setOption(handle, name, value))
            return false;
    }
    return true;
}

// ---- reading a scan (on the worker thread)

// One frame as the device sent it: lines rows of bytes_per_line bytes.
struct Frame {
    SANE_Parameters params{};
    int lines = 0;
    std::vector<uint8_t> bytes;
};

// Reads the frame sane_start began. Returns the reason of a failure, or an
// empty text; cancelled tells that the device ended the scan.
QString readFrame(SANE_Handle handle, Frame& frame, bool& cancelled)
{
    SANE_Parameters& p = frame.params;
    if (const SANE_Status status = sane_get_parameters(handle, &p); status != SANE_STATUS_GOOD)
        return statusReason(status);
    const bool knownFormat = p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB
                             || p.format == SANE_FRAME_RED || p.format == SANE_FRAME_GREEN
                             || p.format == SANE_FRAME_BLUE;
    if (!knownFormat || (p.depth != 1 && p.depth != 8 && p.depth != 16))
        return unsupportedText();
    if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0 || p.lines == 0 || p.lines < -1)
        return unsupportedText();
    if (p.pixels_per_line > kMaxSide || p.lines > kMaxSide)
        return tooLargeText();
    const uint64_t width = uint64_t(p.pixels_per_line);
    const uint64_t samples = p.format == SANE_FRAME_RGB ? 3 : 1;
    const uint64_t bytesPerLine = uint64_t(p.bytes_per_line);
    if (bytesPerLine < (width * samples * uint64_t(p.depth) + 7) / 8)
        return unsupportedText();
    // Lines within the limits, for this frame and for the picture made of it.
    const uint64_t pixelBytes = p.format == SANE_FRAME_GRAY ? 1 : 3;
    const uint64_t maxLines = std::min({uint64_t(kMaxSide), kMaxBytes / bytesPerLine, kMaxBytes / (width * pixelBytes)});
    if (p.lines > 0 && uint64_t(p.lines) > maxLines)
        return tooLargeText();

    const uint64_t limit = bytesPerLine * (p.lines > 0 ? uint64_t(p.lines) : maxLines);
    std::vector<uint8_t>& bytes = frame.bytes;
    if (p.lines > 0)
        bytes.reserve(size_t(limit));
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;) {
        SANE_Int got = 0;
        const SANE_Status status = sane_read(handle, chunk.data(), SANE_Int(chunk.size()), &got);
        if (status == SANE_STATUS_EOF)
            break;
        if (status == SANE_STATUS_CANCELLED) {
            cancelled = true;
            return {};
        }
        if (status != SANE_STATUS_GOOD)
            return statusReason(status);
        const uint64_t received = uint64_t(std::clamp<SANE_Int>(got, 0, SANE_Int(chunk.size())));
        const uint64_t taken = std::min(received, limit - bytes.size());
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + ptrdiff_t(taken));
        if (taken < received)
            return p.lines < 0 ? tooLargeText() : surplusText();
    }
    frame.lines = p.lines > 0 ? p.lines : int(bytes.size() / bytesPerLine);
    if (bytes.size() < bytesPerLine * uint64_t(frame.lines) || frame.lines == 0)
        return incompleteText();
    return {};
}

// Sample i of a row reduced to 8 bits. In one-bit grey (line art) a set bit
// is black; in one-bit colour it is the full colour.
uint8_t sample8(const uint8_t* row, uint64_t i, int depth, bool lineArt)
{
    if (depth == 8)
        return row[i];
    if (depth == 16) {
        uint16_t value = 0;
        std::memcpy(&value, row + 2 * i, sizeof value); // the machine's byte order
        return uint8_t(value >> 8);
    }
    const bool set = (row[i >> 3] >> (7 - (i & 7))) & 1;
    return set != lineArt ? 255 : 0;
}

std::unique_ptr<ScannedPicture> emptyPicture(int width, int height, int channels)
{
    auto picture = std::make_unique<ScannedPicture>();
    picture->width = width;
    picture->height = height;
    picture->channels = channels;
    picture->pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    return picture;
}

// The picture of one grey or colour frame.
std::unique_ptr<ScannedPicture> pictureOf(const Frame& frame)
{
    const SANE_Parameters& p = frame.params;
    auto picture = emptyPicture(p.pixels_per_line, frame.lines, p.format == SANE_FRAME_RGB ? 3 : 1);
    const size_t rowSamples = size_t(picture->width) * size_t(picture->channels);
    const bool lineArt = p.format == SANE_FRAME_GRAY;
    for (int y = 0; y < frame.lines; ++y) {
        const uint8_t* row = frame.bytes.data() + size_t(y) * size_t(p.bytes_per_line);
        uint8_t* out = picture->pixels.data() + size_t(y) * rowSamples;
        for (size_t i = 0; i < rowSamples; ++i)
            out[i] = sample8(row, i, p.depth, lineArt);
    }
    return picture;
}

// The picture of three frames, red, green and blue.
std::unique_ptr<ScannedPicture> pictureOf(const Frame (&planes)[3])
{
    auto picture = emptyPicture(planes[0].params.pixels_per_line, planes[0].lines, 3);
    for (int c = 0; c < 3; ++c) {
        const Frame& plane = planes[c];
        for (int y = 0; y < picture->height; ++y) {
            const uint8_t* row = plane.bytes.data() + size_t(y) * size_t(plane.params.bytes_per_line);
            uint8_t* out = picture->pixels.data() + size_t(y) * size_t(picture->width) * 3 + size_t(c);
            for (int x = 0; x < picture->width; ++x)
                out[size_t(x) * 3] = sample8(row, uint64_t(x), plane.params.depth, false);
        }
    }
    return picture;
}

struct ScanOutcome {
    std::unique_ptr<ScannedPicture> picture;
    QString error; // empty with a picture, and when the scan was cancelled
};

ScanOutcome readScan(SANE_Handle handle)
{
    ScanOutcome outcome;
    try {
        Frame planes[3];
        bool have[3] = {false, false, false};
        for (int pass = 0; pass < 3; ++pass) {
            if (const SANE_Status status = sane_start(handle); status != SANE_STATUS_GOOD) {
                if (status != SANE_STATUS_CANCELLED)
                    outcome.error = failedText(statusReason(status));
                return outcome;
            }
            Frame frame;
            bool cancelled = false;
            const QString reason = readFrame(handle, frame, cancelled);
            if (cancelled || !reason.isEmpty()) {
                if (!cancelled)
                    outcome.error = failedText(reason);
                return outcome;
            }
            const SANE_Parameters& p = frame.params;
            if (p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB) {
                if (pass > 0) {
                    outcome.error = failedText(unsupportedText());
                    return outcome;
                }
                outcome.picture = pictureOf(frame);
                return outcome;
            }
            // One of three frames: all of one size, each colour once.
            const int colour = p.format - SANE_FRAME_RED;
            const Frame* first = have[0] ? &planes[0] : have[1] ? &planes[1] : have[2] ? &planes[2] : nullptr;
            if (have[colour]
                || (first && (first->params.pixels_per_line != p.pixels_per_line || first->lines != frame.lines))) {
                outcome.error = failedText(unsupportedText());
                return outcome;
            }
            const bool last = p.last_frame;
            planes[colour] = std::move(frame);
            have[colour] = true;
            if (last)
                break;
        }
        if (!have[0] || !have[1] || !have[2]) {
            outcome.error = failedText(incompleteText());
            return outcome;
        }
        outcome.picture = pictureOf(planes);
    } catch (const std::bad_alloc&) {
        outcome.picture.reset();
        outcome.error = noMemoryText();
    }
    return outcome;
}

// On the window's thread: the scan has ended.
void deliver(Session& s, ScanOutcome outcome)
{
    if (s.worker.joinable())
        s.worker.join();
    s.busy = false;
    const QPointer<QObject> window = std::exchange(s.window, nullptr);
    if (!outcome.error.isEmpty()) {
        ShowError(outcome.error);
        return;
    }
    if (!outcome.picture || !window)
        return;
    intptr_t handle = 0;
    {
        const std::lock_guard lock(g_pictureMutex);
        handle = ++g_lastHandle;
        g_pictures.emplace(handle, std::move(outcome.picture));
    }
    PostMessage(window, WM_SCANREADY, handle);
}

void scanOnWorker(Session& s, SANE_Handle handle)
{
    auto outcome = std::make_shared<ScanOutcome>(readScan(handle));
    {
        const std::lock_guard lock(s.handleMutex);
        sane_cancel(handle); // ends the scan, as after every last frame
        sane_close(handle);
        s.scanning = nullptr;
    }
    QMetaObject::invokeMethod(
        &s.receiver, [&s, outcome] { deliver(s, std::move(*outcome)); }, Qt::QueuedConnection);
    const std::lock_guard lock(s.handleMutex);
    s.workerDone = true;
    s.workerEnded.notify_all();
}

} // namespace

ScannerDialogScript::ScannerDialogScript() : m_previous(g_script)
{
    g_script = this;
}

ScannerDialogScript::~ScannerDialogScript()
{
    g_script = m_previous;
}

void TWAIN_SelectScanner(QObject* window)
{
    Session& s = session();
    if (s.busy) {
        ShowError(busyText());
        return;
    }
    const auto devices = findDevices(s);
    if (devices.empty()) {
        ShowError(noScannerText());
        return;
    }
    const QString remembered = Settings::readString(section(), deviceKey(), QString());
    if (const auto chosen = askDevice(devices, remembered, window))
        Settings::writeString(section(), deviceKey(), *chosen);
}

void TWAIN_ScanImage(QObject* window)
{
    Session& s = session();
    if (s.busy) {
        ShowError(busyText());
        return;
    }
    // A device chosen before is scanned from only while SANE finds it.
    const auto devices = findDevices(s);
    if (devices.empty()) {
        ShowError(noScannerText());
        return;
    }
    QString name = Settings::readString(section(), deviceKey(), QString());
    if (name.isEmpty())
        name = devices.front().name;
    if (std::none_of(devices.begin(), devices.end(), [&name](const ScannerDevice& d) { return d.name == name; })) {
        ShowError(notFoundText(name));
        return;
    }
    SANE_Handle handle = nullptr;
    if (sane_open(name.toUtf8().constData(), &handle) != SANE_STATUS_GOOD) {
        ShowError(cannotOpenText(name));
        return;
    }
    struct Closer {
        SANE_Handle handle;
        ~Closer()
        {
            if (handle)
                sane_close(handle);
        }
    } closer{handle};

    ScanOffer offer;
    readResolutions(handle, offer);
    readModes(handle, offer);
    const auto choice = askSettings(name, offer, window);
    if (!choice)
        return;
    if (!applyChoice(handle, *choice)) {
        ShowError(settingsRejectedText());
        return;
    }

    closer.handle = nullptr; // the worker closes it
    s.busy = true;
    s.window = window;
    s.scanning = handle;
    s.workerDone = false;
    s.worker = std::thread([&s, handle] { scanOnWorker(s, handle); });
}

std::unique_ptr<ScannedPicture> takeScannedPicture(intptr_t handle)
{
    const std::lock_guard lock(g_pictureMutex);
    const auto it = g_pictures.find(handle);
    if (it == g_pictures.end())
        return nullptr;
    auto picture = std::move(it->second);
    g_pictures.erase(it);
    return picture;
}

int waitingScannedPictureCount()
{
    const std::lock_guard lock(g_pictureMutex);
    return int(g_pictures.size());
}

bool scannerBusy()
{
    return g_session && g_session->busy;
}

} // namespace platform
