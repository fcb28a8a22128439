// Qt's tablet support as the driver: names, pressure scaling, packets from tablet events that
// reach a widget, and start-up on a machine without a tablet.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDevice>
#include <QPointingDevice>
#include <QTabletEvent>
#include <QWidget>
#include <cmath>
#include <memory>

#include "input/QtTabletDriver.h"
#include "input/TabletInput.h"
#include "support/ScriptedUi.h"

namespace {
// Stands in for the drawing view: forwards tablet events and lets Qt make mouse events of them.
class TabletWidget : public QWidget {
  public:
    explicit TabletWidget(CTabletInput& input) : m_input(input) {}

  protected:
    void tabletEvent(QTabletEvent* event) override {
        m_input.OnTabletEvent(event);
        event->ignore();
    }
    CTabletInput& m_input;
};

std::unique_ptr<QPointingDevice> MakePen(const QString& name) {
    return std::make_unique<QPointingDevice>(
        name, 4242, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
}

void SendTablet(QWidget& widget, const QPointingDevice& pen, QEvent::Type type, double pressure,
                QPointF global = QPointF(10, 20)) {
    const Qt::MouseButtons buttons = type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton;
    QTabletEvent event(type, &pen, QPointF(1, 2), global, pressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                       Qt::LeftButton, buttons);
    QApplication::sendEvent(&widget, &event);
}

bool QtKnowsATablet() {
    for (const QInputDevice* device : QInputDevice::devices()) {
        const auto type = device->type();
        if (type == QInputDevice::DeviceType::Stylus ||
            type == QInputDevice::DeviceType::Airbrush || type == QInputDevice::DeviceType::Puck)
            return true;
    }
    return false;
}

class QtTabletDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { m_driver = static_cast<CQtTabletDriver*>(&m_input.Driver()); }

    CScriptedUi m_ui;
    CTabletInput m_input{std::make_unique<CQtTabletDriver>()};
    CQtTabletDriver* m_driver = nullptr;
    TabletWidget m_view{m_input};
};
}  // namespace

TEST(QtTabletDriver, WacomNamesBeginWithTheCapitalisedVendor) {
    const struct {
        const char* qt;
        const char* reported;
    } cases[] = {
        {"Wacom Intuos Pro", "WACOM Intuos Pro"},
        {"Wacom Intuos Pro M Pen stylus", "WACOM Intuos Pro M Pen stylus"},
        {"wacom one", "WACOM one"},
        {"WACOM Cintiq", "WACOM Cintiq"},
        {"Wacom", "WACOM"},
        {"Wacom-HID 5256 Pen", "WACOM-HID 5256 Pen"},
        {"Huion", "Huion"},
        {"Huion Kamvas 13 stylus", "Huion Kamvas 13 stylus"},
        {"XP-Pen Deco 01", "XP-Pen Deco 01"},
        {"Wacomish Pad", "Wacomish Pad"},
        {"My Wacom", "My Wacom"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CQtTabletDriver::ReportedName(QString::fromUtf8(c.qt)),
                  QString::fromUtf8(c.reported))
            << c.qt;
    }
}

TEST(QtTabletDriver, PressureScalesToFullAt255) {
    const struct {
        double qt;
        std::uint32_t packet;
    } cases[] = {{0.0, 0},   {0.5, 128},   {1.0, 255}, {0.25, 64}, {1.0 / 255, 1},
                 {0.001, 0}, {0.998, 254}, {-0.2, 0},  {1.7, 255}, {std::nan(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(CQtTabletDriver::ScalePressure(c.qt), c.packet) << c.qt;
}

TEST_F(QtTabletDriverTest, StartUpWithoutATabletReportsNoServices) {
    ASSERT_FALSE(QtKnowsATablet()) << "this test needs a machine without a tablet";
    m_input.SetDriver(nullptr);  // the driver the program starts with
    const int bTablet = m_input.Bind();
    EXPECT_EQ(bTablet, 0);
    EXPECT_EQ(m_ui.Texts(), QStringList{QStringLiteral("No Tablet services are available")});
    EXPECT_EQ(m_ui.m_messages.front().type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(m_input.OpenContext(&m_view, bTablet), 0);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    m_input.CloseContext();
    m_input.Release();
    EXPECT_EQ(m_ui.m_messages.size(), 1u);
}

TEST_F(QtTabletDriverTest, TabletEventsBecomePacketsWithScaledPressure) {
    auto pen = MakePen(QStringLiteral("Wacom Intuos Pro M Pen stylus"));
    // Qt has seen the pen: services are available and the Wacom name passes the check.
    SendTablet(m_view, *pen, QEvent::TabletMove, 0.3);
    EXPECT_EQ(m_driver->QueuedPackets(), 0);  // no context yet
    ASSERT_EQ(m_input.Bind(), 1);
    ASSERT_EQ(m_input.OpenContext(&m_view, 1), 1);
    EXPECT_TRUE(m_ui.m_messages.empty());

    SendTablet(m_view, *pen, QEvent::TabletPress, 0.5, QPointF(300, 400));
    SendTablet(m_view, *pen, QEvent::TabletMove, 1.0);
    SendTablet(m_view, *pen, QEvent::TabletRelease, 0.0);
    EXPECT_EQ(m_driver->QueuedPackets(), 3);
    for (int expected : {128, 255, 0, -1}) EXPECT_EQ(m_input.ReadTabletPressure(&m_view), expected);
}

TEST_F(QtTabletDriverTest, ReadsReturnTheEventsOldestFirstOnePerRead) {
    auto pen = MakePen(QStringLiteral("Wacom Intuos Pro"));
    SendTablet(m_view, *pen, QEvent::TabletMove, 0.5);
    ASSERT_EQ(m_input.OpenContext(&m_view, m_input.Bind()), 1);

    SendTablet(m_view, *pen, QEvent::TabletPress, 0.5);
    SendTablet(m_view, *pen, QEvent::TabletMove, 1.0);
    SendTablet(m_view, *pen, QEvent::TabletMove, 0.0);
    SendTablet(m_view, *pen, QEvent::TabletRelease, 0.25);
    for (int expected : {128, 255, 0, 64, -1, -1})
        EXPECT_EQ(m_input.ReadTabletPressure(&m_view), expected);

    // Closed: further events are not queued.
    m_input.CloseContext();
    SendTablet(m_view, *pen, QEvent::TabletMove, 1.0);
    EXPECT_EQ(m_driver->QueuedPackets(), 0);
    m_input.Release();
}

TEST_F(QtTabletDriverTest, PacketCarriesCursorButtonsAndScreenPosition) {
    auto pen = MakePen(QStringLiteral("Wacom One"));
    const HCTX context = m_driver->Open(&m_view, m_driver->DefaultContext(), true);
    ASSERT_NE(context, 0u);
    SendTablet(m_view, *pen, QEvent::TabletPress, 0.5, QPointF(300.4, 401.6));
    TabletPacket packets[2];
    ASSERT_EQ(m_driver->PacketsGet(context, 2, packets), 1);
    EXPECT_EQ(packets[0].pkCursor, static_cast<std::uint32_t>(QPointingDevice::PointerType::Pen));
    EXPECT_EQ(packets[0].pkButtons, static_cast<std::uint32_t>(Qt::LeftButton));
    EXPECT_EQ(packets[0].pkX, 300);
    EXPECT_EQ(packets[0].pkY, 401);
    EXPECT_EQ(packets[0].pkNormalPressure, 128u);
    EXPECT_EQ(m_driver->PacketsGet(context, 2, packets), 0);
    EXPECT_EQ(m_driver->PacketsGet(context + 1, 2, packets), 0);
}

TEST_F(QtTabletDriverTest, OtherMakesAreRefusedByName) {
    auto pen = MakePen(QStringLiteral("Huion Kamvas 13"));
    SendTablet(m_view, *pen, QEvent::TabletMove, 0.5);
    EXPECT_EQ(m_driver->ServicesAvailable(), 1u);
    EXPECT_EQ(m_driver->DeviceName(), "Huion Kamvas 13");
    EXPECT_EQ(m_input.Bind(), 0);
    EXPECT_EQ(m_ui.Texts(), QStringList{QStringLiteral("WACOM tablet not installed")});
}

TEST_F(QtTabletDriverTest, AFullQueueKeepsTheOldestPackets) {
    auto pen = MakePen(QStringLiteral("Wacom Intuos"));
    const HCTX context = m_driver->Open(&m_view, m_driver->DefaultContext(), true);
    for (int i = 0; i < CQtTabletDriver::kQueueSize + 10; ++i)
        SendTablet(m_view, *pen, QEvent::TabletMove, (i % 200) / 255.0);
    EXPECT_EQ(m_driver->QueuedPackets(), CQtTabletDriver::kQueueSize);
    TabletPacket packet;
    for (int i = 0; i < CQtTabletDriver::kQueueSize; ++i) {
        ASSERT_EQ(m_driver->PacketsGet(context, 1, &packet), 1);
        EXPECT_EQ(packet.pkNormalPressure, static_cast<std::uint32_t>(i % 200));
    }
    EXPECT_EQ(m_driver->PacketsGet(context, 1, &packet), 0);
}

TEST_F(QtTabletDriverTest, EveryEntryPointIsPresentAndOpeningNeedsAWindow) {
    EXPECT_TRUE(m_driver->Load());
    for (const char* name : kTabletEntryPoints) EXPECT_TRUE(m_driver->HasEntryPoint(name)) << name;
    EXPECT_FALSE(m_driver->HasEntryPoint("WTMgrOpen"));
    EXPECT_EQ(m_driver->Open(nullptr, m_driver->DefaultContext(), true), 0u);
    EXPECT_NE(m_driver->Open(&m_view, m_driver->DefaultContext(), true), 0u);
}
