#pragma once
// The real main window talking to the simulated meter over a pseudo-terminal,
// with every path in the test's temporary folder.
#include "TempDir.h"

#include "app/CMainFrame.h"
#include "link/SimulatedMeter.h"

#include <QDir>
#include <QTest>
#include <memory>

class MeterAndFrameTest : public TempDirTest {
protected:
    void SetUp() override
    {
        options = tempOptions();
        QDir().mkpath(path("sys/class/tty"));
    }

    void TearDown() override
    {
        m_frame.reset(); // closes the port before the meter goes
        m_meter.reset();
    }

    // Starts the meter and pins the program's port to it (as --port DEVICE).
    void startMeter(const SimulatedMeterOptions& meterOptions = {})
    {
        m_meter = std::make_unique<SimulatedMeter>(meterOptions);
        const Status started = m_meter->start();
        ASSERT_TRUE(started.ok()) << started.message().toStdString();
        options.portDevice = m_meter->devicePath();
    }

    void makeFrame(QSize size = QSize(1000, 760))
    {
        m_frame = std::make_unique<CMainFrame>(options);
        m_frame->resize(size);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    AppOptions options;
    std::unique_ptr<SimulatedMeter> m_meter;
    std::unique_ptr<CMainFrame> m_frame;
};
