#pragma once
// The scanner, over SANE: choosing the device, scanning a picture, and
// keeping the finished picture until the window that asked for it takes it
// over (raster::GetScanedDib in raster/scanneddib.h).
//
// A scan runs on a thread of its own, so the window goes on answering while
// the device works. When the picture is complete the window receives
// WM_SCANREADY (0x401) with the picture's handle as first parameter. Every
// failure is told to the user in a German message box; a failed or
// cancelled scan sends nothing. Pictures nobody takes are freed when the
// program ends, and SANE is closed then too.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class QObject;

namespace platform {

// Shows the devices SANE finds and remembers the one chosen (settings
// section "Scanner"). Without a device only the message "Es wurde kein
// Scanner gefunden." appears.
void TWAIN_SelectScanner(QObject* window);
// Scans from the remembered device (the first one found when none was
// chosen yet; a message when SANE does not find the remembered one): a
// dialog asks for resolution and colour mode, then the scan runs and window
// receives WM_SCANREADY with the picture's handle.
void TWAIN_ScanImage(QObject* window);

// A finished scan, 8 bits a sample: rows from the top without padding, each
// pixel one grey byte (channels 1) or red, green, blue (channels 3).
struct ScannedPicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
};

// Takes the picture of a WM_SCANREADY message out of the table; null when
// the handle is unknown or its picture was already taken.
std::unique_ptr<ScannedPicture> takeScannedPicture(intptr_t handle);
// Finished pictures that nobody has taken yet.
int waitingScannedPictureCount();
// True from the start of a scan until its picture or its failure has been
// handed to the window's thread. Meanwhile another scan or device choice is
// refused with a message.
bool scannerBusy();

struct ScannerDevice {
    QString name; // SANE's device name, e.g. "test:0"
    QString vendor;
    QString model;
};

// The dialogs themselves are "ScannerSelectDialog" (the list "ScannerList")
// and "ScanSettingsDialog" (the boxes "ResolutionBox" and "ModeBox").
//
// While it lives, the device choice and the scan settings dialog are not
// shown but answered from this script, and what they would have offered is
// recorded. A device name, resolution or mode the dialog does not offer
// answers as Cancel. Scripts nest; the innermost one answers.
struct ScannerDialogScript {
    ScannerDialogScript();
    ~ScannerDialogScript();
    ScannerDialogScript(const ScannerDialogScript&) = delete;
    ScannerDialogScript& operator=(const ScannerDialogScript&) = delete;

    // Device choice: the device to choose; empty: Cancel.
    QString device;
    // Scan settings: OK or Cancel, the resolution in dpi (0: the preset)
    // and the colour mode as the dialog names it (empty: the preset).
    bool scan = true;
    int resolution = 0;
    QString mode;
    // Further device options by their SANE name and value, set after
    // resolution and mode as a device's own dialog could set them.
    std::vector<std::pair<QByteArray, QByteArray>> deviceOptions;

    // What the device choice offered, the last time it was asked.
    int deviceChoices = 0;
    std::vector<ScannerDevice> offeredDevices;
    QString preselectedDevice;
    // What the scan settings offered, the last time they were asked.
    int scanSettings = 0;
    QString scanDevice;
    std::vector<int> offeredResolutions;
    int presetResolution = 0;
    QStringList offeredModes;
    QString presetMode;

private:
    ScannerDialogScript* m_previous = nullptr;
};

} // namespace platform
