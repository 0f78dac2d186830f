#pragma once
// Shared set-up of the firmware window tests: a main panel connected to a simulated box,
// files in a folder of their own, and the requests in readable form.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <string>

#include "firmware/browse_form.h"
#include "firmware/firmware_info_form.h"
#include "firmware/fw_form.h"
#include "tests/panels/panel_fixture.h"

namespace iox::testing {

class FirmwareTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        panels::setFirmwareInfoOpener(&firmware::openFirmwareInfo);
    }
    void TearDown() override
    {
        delete firmware::firmwareInfoForm();
        delete firmware::loadedFWForm();
        panels::setFirmwareInfoOpener({});
        PanelTest::TearDown();
        QDir::setCurrent(previousFolder);
    }

    // The main panel on one box of the given firmware level, revision B7.
    panels::TestForm* loadPanel(std::uint8_t level = 3) { return PanelTest::loadPanel({.firmware = {level, 1, 0, 0, 'B', '7'}}); }

    // A file in the test's own folder; an image by default under a name the firmware-name test accepts.
    QString writeImage(const std::string& text, const QString& name = "USB_IO_Firmware_A1.hex")
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return file.fileName();
    }

    // Every request since the last clearLog(), or only the image lines: a line as its text up
    // to the first zero, "Flag", "ResetCPU" (their bytes are the core's and the device tests'
    // to check), others as the panels'.
    Requests wire(bool linesOnly = false) const
    {
        Requests out;
        for (const auto& entry : bus.log()) {
            const Report& r = entry.report;
            const auto* text = reinterpret_cast<const char*>(&r[1]);
            if (r[1] == ':' || r[1] == ';')
                out.emplace_back(text, strnlen(text, 64));
            else if (!linesOnly)
                out.push_back(r[1] == cmd::UpdateFlag ? "Flag" : r[1] == cmd::ResetCpu ? "ResetCPU" : describe(r));
        }
        return out;
    }

    QString previousFolder = QDir::currentPath();
    QTemporaryDir dir;
};

// Two data records and the end-of-file record, each with its CR LF.
inline const std::string kData1 = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
inline const std::string kData2 = ":10001000101112131415161718191A1B1C1D1E1F68\r\n";
inline const std::string kEndOfFile = ":00000001FF\r\n";

}  // namespace iox::testing
