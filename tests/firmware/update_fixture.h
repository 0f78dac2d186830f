#pragma once
// Shared set-up of the firmware window tests: a main panel connected to a simulated box,
// image files in a folder of their own, and the requests in readable form, bootloader
// traffic included.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "device/commands.h"
#include "firmware/firmware_info_form.h"
#include "firmware/fw_form.h"
#include "panels/main_panel.h"
#include "panels/test_form.h"
#include "tests/panels/panel_fixture.h"

namespace iox::testing {

// "Flag 00 15 7A FF 01 59 +0" (bytes 0 to 5, then how many later bytes are not zero),
// "ResetCPU 101 102 103", "Line <the bytes up to the first zero>"; others as the panels'.
inline std::string describeFirmware(const Report& r)
{
    const auto restNonZero = [&](std::size_t from) {
        int n = 0;
        for (std::size_t i = from; i < r.size(); ++i)
            n += r[i] != 0;
        return " +" + std::to_string(n);
    };
    if (r[1] == cmd::UpdateFlag) {
        std::string out = "Flag";
        char hex[4];
        for (std::size_t i = 0; i <= 5; ++i) {
            std::snprintf(hex, sizeof hex, " %02X", r[i]);
            out += hex;
        }
        return out + restNonZero(6);
    }
    if (r[1] == cmd::ResetCpu)
        return "ResetCPU " + std::to_string(r[2]) + " " + std::to_string(r[3]) + " " + std::to_string(r[4]) +
               restNonZero(5);
    if (r[1] == ':' || r[1] == ';') {
        std::string line;
        for (std::size_t i = 1; i < r.size() && r[i] != 0; ++i)
            line.push_back(static_cast<char>(r[i]));
        return "Line " + line;
    }
    return describe(r);
}

class FirmwareTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_previousFolder = QDir::currentPath();
        panels::setFirmwareInfoOpener(&firmware::openFirmwareInfo);
    }
    void TearDown() override
    {
        delete firmware::firmwareInfoForm();
        delete firmware::loadedFWForm();
        panels::setFirmwareInfoOpener({});
        PanelTest::TearDown();
        QDir::setCurrent(m_previousFolder);
    }

    // One box of the given firmware level, the main panel loaded and connected to it, the
    // request log empty.
    panels::TestForm* loadPanel(std::uint8_t level = 3)
    {
        sim::BoxConfig config;
        config.model = "IOX-MODEL-C";
        config.serial = "10001";
        config.firmware = {level, 1, 0, 0, 'B', '7'};
        box = bus.addBox(config);
        panels::TestForm* panel = panels::loadMainPanel();
        bus.clearLog();
        return panel;
    }

    // An image file under the test's own folder; the name passes the firmware-name test.
    QString writeImage(const std::string& text, const QString& name = QStringLiteral("USB_IO_Firmware_A1.hex"))
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot write " << path.toStdString();
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }
    QString folder() const { return m_dir.path(); }

    Requests wire() const
    {
        Requests out;
        for (const auto& entry : bus.log())
            out.push_back(describeFirmware(entry.report));
        return out;
    }
    // The lines the bootloader received, as "Line ..." entries.
    Requests linesOnWire() const
    {
        Requests out;
        for (const std::string& request : wire())
            if (request.rfind("Line ", 0) == 0)
                out.push_back(request);
        return out;
    }
    static std::string lineOf(const std::string& text) { return "Line " + text; }

    std::size_t box = 0;

private:
    QTemporaryDir m_dir;
    QString m_previousFolder;
};

// A data record and the end-of-file record, each with its CR LF.
inline const std::string kData1 = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
inline const std::string kData2 = ":10001000101112131415161718191A1B1C1D1E1F68\r\n";
inline const std::string kEndOfFile = ":00000001FF\r\n";

}  // namespace iox::testing
