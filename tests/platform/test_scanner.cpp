// The scanner over SANE with the project's own configuration
// (tests/fixtures/sane): the test backend's virtual devices test:0 and
// test:1 show what the dialogs offer (test:1 keeps the values the
// configuration gives it: no test sets an option of it), and the PNM file
// reader (pnm:0, pnm:1) scans the small pictures of
// tests/fixtures/sane/pictures.
//
// Every scan runs on the PNM reader: it reads its file on the scanning
// thread itself. The test backend hands its data over from a thread of its
// own that it stops with an asynchronous cancel, which now and then catches
// that thread inside malloc and hangs the scan for good (about one scan in
// a few hundred here), so no test lets it scan.

#include "platform/messages.h"
#include "platform/msgbox.h"
#include "platform/scanner.h"
#include "platform/settings.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "raster/scanneddib.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace platform;
using raster::DibGuard;

namespace {

const char* const kNoScannerChild = "LUMIVOX_TEST_NO_SCANNER";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif
#else
constexpr bool kLeakChecked = false;
#endif

// SANE reads its configuration once per process, at its first use: every
// test of this program sees the project's own folder. Only the child process
// of the no-device test brings a folder without any backend.
class SaneConfiguration : public testing::Environment {
public:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kNoScannerChild))
            qputenv("SANE_CONFIG_DIR", QFile::encodeName(testutil::sourcePath("tests/fixtures/sane")));
    }
};
[[maybe_unused]] testing::Environment* const g_saneConfiguration =
    testing::AddGlobalTestEnvironment(new SaneConfiguration);

const QString kNoScanner = QStringLiteral("Es wurde kein Scanner gefunden.");
const QString kFailed = QStringLiteral("Das Bild konnte nicht gescannt werden.\n");

using Options = std::vector<std::pair<QByteArray, QByteArray>>;

// The PNM reader keeps its settings from one scan to the next and for both
// of its devices: every scan sets them all.
Options pnmScan(const char* picture, const Options& options = {})
{
    Options all = {{"status", "1"}, // no simulated failure
                   {"three-pass", "0"},
                   {"hand-scanner", "0"},
                   {"grayify", "0"},
                   {"filename", testutil::sourcePath(QStringLiteral("tests/fixtures/sane/pictures/") + picture).toUtf8()}};
    all.insert(all.end(), options.begin(), options.end());
    return all;
}

// The pictures' pixels, as they were written.
uint32_t colourPixel(int x, int y)
{
    const uint32_t red = uint32_t(x * 30 + 1);
    const uint32_t green = uint32_t(y * 40 + 2);
    const uint32_t blue = uint32_t((x + y) * 10 + 3);
    return red + 256 * green + 65536 * blue;
}
uint32_t greyPixel(int x, int y)
{
    return uint32_t(x * 30 + y * 5);
}
uint32_t lineArtPixel(int x, int y)
{
    static const char* const rows[] = {"101100011", "010011100", "111111110"}; // 1: black
    return rows[y][x] == '1' ? 0 : 255;
}

// Receives the window messages as the editor's main window would.
class MessageWindow : public QObject {
public:
    std::vector<intptr_t> scans; // first parameter of every WM_SCANREADY
    int otherMessages = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != WindowMessageEvent::eventType())
            return QObject::event(e);
        const auto* message = static_cast<WindowMessageEvent*>(e);
        if (message->message() == WM_SCANREADY)
            scans.push_back(message->wParam());
        else
            ++otherMessages;
        return true;
    }
};

class Scanner : public testing::Test {
protected:
    void SetUp() override
    {
        // A settings store of the test's own: tests in other processes
        // choose other devices at the same time.
        ASSERT_TRUE(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    void TearDown() override
    {
        EXPECT_TRUE(waitForScan()) << "a scan still runs after the test";
        EXPECT_EQ(waitingScannedPictureCount(), 0) << "scanned pictures nobody took";
        for (const intptr_t handle : window.scans)
            takeScannedPicture(handle);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }

    // Lets events run until the running scan has ended and its message, if
    // any, has arrived; at most 30 s. False when it did not end.
    static bool waitForScan()
    {
        QTimer limit;
        limit.setSingleShot(true);
        limit.start(30000);
        while (scannerBusy() && limit.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        return !scannerBusy();
    }

    // Scans with the scripted dialog from the PNM reader; returns when the
    // scan has ended.
    void scan(const Options& options)
    {
        Settings::writeString("Scanner", "Device", QStringLiteral("pnm:0"));
        ScannerDialogScript script;
        script.deviceOptions = options;
        TWAIN_ScanImage(&window);
        EXPECT_EQ(script.scanSettings, 1);
        EXPECT_TRUE(waitForScan());
    }

    // Takes the picture of the one scan message that arrived.
    DibGuard takeTheScan()
    {
        DibGuard dib;
        EXPECT_EQ(window.scans.size(), 1u);
        if (window.scans.size() == 1)
            raster::GetScanedDib(dib.out(), window.scans.front());
        return dib;
    }

    QTemporaryDir m_settings;
    MessageWindow window;
};

} // namespace

TEST_F(Scanner, DeviceChoiceOffersTheDevicesAndTheScanUsesTheOneChosen)
{
    MessageBoxScript boxes;
    ScannerDialogScript script;
    script.device = QStringLiteral("test:1");
    TWAIN_SelectScanner(&window);

    // In SANE's order, which is the order the backends were loaded in.
    ASSERT_EQ(script.deviceChoices, 1);
    QStringList offered;
    for (const auto& device : script.offeredDevices)
        offered << device.vendor + QLatin1Char('|') + device.model + QLatin1Char('|') + device.name;
    offered.sort();
    EXPECT_EQ(offered, (QStringList{"Noname|PNM file reader|pnm:0", "Noname|PNM file reader|pnm:1",
                                    "Noname|frontend-tester|test:0", "Noname|frontend-tester|test:1"}));
    ASSERT_FALSE(script.offeredDevices.empty());
    EXPECT_EQ(script.preselectedDevice, script.offeredDevices.front().name) << "nothing was chosen before";
    EXPECT_EQ(Settings::readString("Scanner", "Device", QString()), "test:1");

    // Cancel keeps the choice, and the next choice starts from it.
    script.device.clear();
    TWAIN_SelectScanner(&window);
    EXPECT_EQ(script.preselectedDevice, "test:1");
    EXPECT_EQ(Settings::readString("Scanner", "Device", QString()), "test:1");
    // A device that is not offered cannot be chosen.
    script.device = QStringLiteral("test:7");
    TWAIN_SelectScanner(&window);
    EXPECT_EQ(Settings::readString("Scanner", "Device", QString()), "test:1");

    script.scan = false;
    TWAIN_ScanImage(&window);
    EXPECT_EQ(script.scanSettings, 1);
    EXPECT_EQ(script.scanDevice, "test:1");
    EXPECT_TRUE(boxes.shown().empty());

    // A device chosen once that SANE no longer finds is not scanned from.
    Settings::writeString("Scanner", "Device", QStringLiteral("test:7"));
    TWAIN_ScanImage(&window);
    EXPECT_EQ(script.scanSettings, 1);
    EXPECT_EQ(boxes.texts(),
              QStringList{QStringLiteral(
                  "Der Scanner test:7 wurde nicht gefunden. Bitte w\u00e4hlen Sie ein anderes Ger\u00e4t.")});
}

TEST_F(Scanner, ScanSettingsOfferTheDevicesValuesAndCancelScansNothing)
{
    MessageBoxScript boxes;
    ScannerDialogScript script;
    script.scan = false;
    TWAIN_SelectScanner(&window); // cancelled: only to learn the devices
    ASSERT_FALSE(script.offeredDevices.empty());
    TWAIN_ScanImage(&window);
    EXPECT_EQ(script.scanDevice, script.offeredDevices.front().name) << "with nothing chosen the first device scans";

    // The presets are the device's own values, which it keeps from scan to
    // scan in this process: test:1 is left untouched by every test.
    Settings::writeString("Scanner", "Device", QStringLiteral("test:1"));
    TWAIN_ScanImage(&window);
    ASSERT_EQ(script.scanSettings, 2);
    EXPECT_EQ(script.scanDevice, "test:1");
    // A range in the usual steps, the colour modes by their German names,
    // and the device's own values preset.
    EXPECT_EQ(script.offeredResolutions, (std::vector<int>{50, 75, 100, 150, 200, 300, 400, 600, 1200}));
    EXPECT_EQ(script.offeredModes, (QStringList{"Graustufen", "Farbe"}));
    EXPECT_EQ(script.presetResolution, 100);
    EXPECT_EQ(script.presetMode, "Graustufen");

    // A list of resolutions is offered as it is; no mode without the option.
    Settings::writeString("Scanner", "Device", QStringLiteral("pnm:1"));
    TWAIN_ScanImage(&window);
    ASSERT_EQ(script.scanSettings, 3);
    EXPECT_EQ(script.offeredResolutions, (std::vector<int>{75, 90, 100, 120, 135, 150, 165, 180, 195, 200, 210, 225,
                                                           240, 255, 270, 285, 300}));
    EXPECT_TRUE(script.offeredModes.isEmpty());
    EXPECT_TRUE(script.presetMode.isEmpty());

    EXPECT_FALSE(scannerBusy());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.scans.empty());
    EXPECT_EQ(window.otherMessages, 0);
    EXPECT_TRUE(boxes.shown().empty());

    // A resolution or mode the dialog does not offer answers as Cancel.
    Settings::writeString("Scanner", "Device", QStringLiteral("test:1"));
    script.scan = true;
    script.resolution = 123;
    TWAIN_ScanImage(&window);
    script.resolution = 0;
    script.mode = QStringLiteral("Color");
    TWAIN_ScanImage(&window);
    EXPECT_EQ(script.scanSettings, 5);
    EXPECT_FALSE(scannerBusy());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.scans.empty());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(Scanner, EveryKindOfScanArrivesAsThePictureTheDeviceSent)
{
    struct ScanCase {
        const char* name;
        Options options;
        int width;
        int height;
        int bitCount;
        std::function<uint32_t(int, int)> pixel; // r + 256 g + 65536 b, or the grey level
    };
    std::vector<ScanCase> cases = {
        {"colour", pnmScan("colour.ppm"), 7, 5, 24, colourPixel},
        {"grey", pnmScan("grey.pgm"), 7, 5, 8, greyPixel},
        {"grey, length not known before", pnmScan("grey.pgm", {{"hand-scanner", "1"}}), 7, 5, 8, greyPixel},
        {"line art", pnmScan("lineart.pbm"), 9, 3, 8, lineArtPixel},
    };
    if (!kLeakChecked) {
        // Green, blue, then red. For these frames the PNM reader keeps a
        // buffer in a static variable that SANE's exit never frees; once
        // SANE has unloaded the reader the leak check reports it.
        cases.push_back({"colour in three passes", pnmScan("colour.ppm", {{"three-pass", "1"}}), 7, 5, 24,
                         colourPixel});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.scans.clear();
        MessageBoxScript boxes;
        scan(c.options);
        EXPECT_TRUE(boxes.shown().empty()) << boxes.texts().join(" | ").toStdString();
        EXPECT_EQ(waitingScannedPictureCount(), 1);

        DibGuard dib = takeTheScan();
        ASSERT_TRUE(dib);
        EXPECT_EQ(raster::DibWidth(dib.get()), c.width);
        EXPECT_EQ(raster::DibHeight(dib.get()), c.height);
        ASSERT_EQ(raster::DibBitCount(dib.get()), c.bitCount);
        if (c.bitCount == 8) {
            for (const int level : {0, 35, 200, 255}) {
                const auto& entry = raster::DibColors(dib.get())[level];
                EXPECT_EQ(entry.rgbRed, level);
                EXPECT_EQ(entry.rgbGreen, level);
                EXPECT_EQ(entry.rgbBlue, level);
            }
        }
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(raster::getpixel(dib.get(), x, y), c.pixel(x, y)) << "at " << x << ", " << y;
        }

        // Taken once: the handle now gives nothing.
        DibGuard again;
        raster::GetScanedDib(again.out(), window.scans.front());
        EXPECT_FALSE(again);
        EXPECT_EQ(waitingScannedPictureCount(), 0);
    }
}

TEST_F(Scanner, FailedScansShowAGermanMessageAndPostNothing)
{
    const QString tooLarge =
        kFailed + QStringLiteral("Das Bild ist zu gro\u00df (h\u00f6chstens 30000 \u00d7 30000 Bildpunkte und 1 GB).");
    const std::vector<std::tuple<const char*, Options, QString>> cases = {
        {"a file shorter than its header says", pnmScan("truncated.pgm"),
         kFailed + QStringLiteral("Der Scanner hat das Bild nicht vollst\u00e4ndig geliefert.")},
        {"no data at all", pnmScan("grey.pgm", {{"status-eof", "1"}}),
         kFailed + QStringLiteral("Der Scanner hat das Bild nicht vollst\u00e4ndig geliefert.")},
        // This PNM reader announces 16-bit files as 8 bits and sends both bytes.
        {"more than announced", pnmScan("colour16.ppm"),
         kFailed + QStringLiteral("Der Scanner hat mehr Daten geliefert, als er angek\u00fcndigt hat.")},
        {"paper jam", pnmScan("grey.pgm", {{"status-jammed", "1"}}),
         kFailed + QStringLiteral("Im Scanner hat sich das Papier gestaut.")},
        {"input/output error", pnmScan("colour.ppm", {{"status-ioerror", "1"}}),
         kFailed + QStringLiteral("Die Verbindung zum Scanner ist gest\u00f6rt.")},
        {"wider than 30000 pixels", pnmScan("wide.pgm"), tooLarge},
        {"more than 1 GB", pnmScan("huge.ppm"), tooLarge},
    };
    for (const auto& [name, options, expected] : cases) {
        SCOPED_TRACE(name);
        MessageBoxScript boxes;
        scan(options);
        EXPECT_EQ(boxes.texts(), QStringList{expected});
        EXPECT_TRUE(window.scans.empty());
        EXPECT_EQ(waitingScannedPictureCount(), 0);
    }

    // A setting the device refuses starts no scan.
    MessageBoxScript boxes;
    ScannerDialogScript script;
    script.deviceOptions = pnmScan("grey.pgm", {{"sharpness", "3"}});
    TWAIN_ScanImage(&window);
    EXPECT_FALSE(scannerBusy());
    EXPECT_EQ(boxes.texts(), QStringList{"Der Scanner hat die Einstellungen nicht angenommen."});
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.scans.empty());
}

TEST_F(Scanner, WhileAScanRunsTheScannerIsNotAskedAgain)
{
    MessageBoxScript boxes;
    ScannerDialogScript script;
    script.device = QStringLiteral("pnm:1");
    script.deviceOptions = pnmScan("colour.ppm");
    Settings::writeString("Scanner", "Device", QStringLiteral("pnm:0"));
    TWAIN_ScanImage(&window);
    ASSERT_TRUE(scannerBusy());
    // The scan ends only when the window's thread has taken its result.
    TWAIN_ScanImage(&window);
    TWAIN_SelectScanner(&window);
    const QString busy = QStringLiteral(
        "Der Scanner ist noch besch\u00e4ftigt. Bitte warten Sie, bis das Bild fertig gescannt ist.");
    EXPECT_EQ(boxes.texts(), (QStringList{busy, busy}));
    EXPECT_EQ(script.scanSettings, 1);
    EXPECT_EQ(script.deviceChoices, 0);
    EXPECT_EQ(Settings::readString("Scanner", "Device", QString()), "pnm:0");

    ASSERT_TRUE(waitForScan());
    DibGuard dib = takeTheScan();
    ASSERT_TRUE(dib);
    EXPECT_EQ(raster::getpixel(dib.get(), 6, 4), colourPixel(6, 4));
}

TEST_F(Scanner, HandOverOfUnknownHandlesAndWithoutMemoryGivesNoPicture)
{
    MessageBoxScript boxes;
    DibGuard unknown;
    raster::GetScanedDib(unknown.out(), 0);
    EXPECT_FALSE(unknown);
    raster::GetScanedDib(unknown.out(), 987654);
    EXPECT_FALSE(unknown);
    EXPECT_TRUE(boxes.shown().empty());

    scan(pnmScan("grey.pgm"));
    ASSERT_EQ(window.scans.size(), 1u);
    {
        testutil::AllocationLimit limit(1000); // less than a grey picture's header and palette
        DibGuard dib;
        raster::GetScanedDib(dib.out(), window.scans.front());
        EXPECT_FALSE(dib);
    }
    EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral("Fehler: nicht genug Speicher f\u00fcr diese Operation!")});
    EXPECT_EQ(waitingScannedPictureCount(), 0) << "the picture is given up, not kept for ever";
}

TEST_F(Scanner, TheDialogsThemselvesChooseTheDeviceAndTheSettings)
{
    // Answers the modal dialog of that name when it has been shown.
    QObject context;
    const auto answer = [&context](const QString& name, std::function<void(QDialog*)> act) {
        QTimer::singleShot(0, &context, [name, act] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != name) {
                ADD_FAILURE() << "dialog " << name.toStdString() << " is not shown";
                return;
            }
            act(dialog);
        });
    };

    MessageBoxScript boxes;
    answer(QStringLiteral("ScannerSelectDialog"), [](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("ScannerList"));
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->currentRow(), 0);
        const auto found = list->findItems(QStringLiteral("Noname PNM file reader (pnm:1)"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(list->findItems(QStringLiteral("Noname frontend-tester (test:0)"), Qt::MatchExactly).size(), 1);
        list->setCurrentItem(found.front());
        dialog->accept();
    });
    TWAIN_SelectScanner(&window);
    EXPECT_EQ(Settings::readString("Scanner", "Device", QString()), "pnm:1");

    // The test device's settings, and Cancel.
    Settings::writeString("Scanner", "Device", QStringLiteral("test:1"));
    answer(QStringLiteral("ScanSettingsDialog"), [](QDialog* dialog) {
        auto* resolution = dialog->findChild<QComboBox*>(QStringLiteral("ResolutionBox"));
        auto* mode = dialog->findChild<QComboBox*>(QStringLiteral("ModeBox"));
        ASSERT_NE(resolution, nullptr);
        ASSERT_NE(mode, nullptr);
        EXPECT_EQ(resolution->count(), 9);
        EXPECT_EQ(resolution->currentText(), "100");
        ASSERT_EQ(mode->count(), 2);
        EXPECT_EQ(mode->itemText(1), "Farbe");
        EXPECT_EQ(mode->currentText(), "Graustufen");
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->text(), "Scannen");
        buttons->button(QDialogButtonBox::Cancel)->click();
    });
    TWAIN_ScanImage(&window);
    EXPECT_FALSE(scannerBusy());

    // The PNM reader, given its file once, scans with the dialog's OK.
    scan(pnmScan("colour.ppm"));
    takeTheScan();
    window.scans.clear();
    answer(QStringLiteral("ScanSettingsDialog"), [](QDialog* dialog) {
        auto* resolution = dialog->findChild<QComboBox*>(QStringLiteral("ResolutionBox"));
        auto* mode = dialog->findChild<QComboBox*>(QStringLiteral("ModeBox"));
        ASSERT_NE(resolution, nullptr);
        ASSERT_NE(mode, nullptr);
        EXPECT_FALSE(mode->isEnabled());
        resolution->setCurrentIndex(resolution->findText(QStringLiteral("150")));
        dialog->accept();
    });
    TWAIN_ScanImage(&window);
    ASSERT_TRUE(waitForScan());
    EXPECT_TRUE(boxes.shown().empty());
    DibGuard dib = takeTheScan();
    ASSERT_TRUE(dib);
    EXPECT_EQ(raster::DibWidth(dib.get()), 7);
    EXPECT_EQ(raster::DibHeight(dib.get()), 5);
    EXPECT_EQ(raster::getpixel(dib.get(), 3, 2), colourPixel(3, 2));
}

TEST_F(Scanner, WithoutADeviceOnlyAMessageAppears)
{
    if (!qEnvironmentVariableIsSet(kNoScannerChild)) {
        // SANE starts once per process: the test runs again in a process
        // whose SANE has no backend.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kNoScannerChild), QStringLiteral("1"));
        environment.insert(QStringLiteral("SANE_CONFIG_DIR"), testutil::sourcePath("tests/fixtures/sane/none"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=Scanner.WithoutADeviceOnlyAMessageAppears")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
        return;
    }

    MessageBoxScript boxes;
    ScannerDialogScript script;
    script.device = QStringLiteral("test:0");
    TWAIN_SelectScanner(&window);
    TWAIN_ScanImage(&window);
    // A device remembered from before is not there either.
    Settings::writeString("Scanner", "Device", QStringLiteral("test:0"));
    TWAIN_ScanImage(&window);

    EXPECT_EQ(boxes.texts(), (QStringList{kNoScanner, kNoScanner, kNoScanner}));
    EXPECT_EQ(script.deviceChoices, 0);
    EXPECT_EQ(script.scanSettings, 0);
    EXPECT_FALSE(scannerBusy());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.scans.empty());
    EXPECT_EQ(waitingScannedPictureCount(), 0);
}
