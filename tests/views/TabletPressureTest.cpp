// Pen pressure reaching the strokes of the drawing view: packets of the scripted driver and
// tablet events through Qt's driver, one reading per pointer event, 255 without one.
#include <QTabletEvent>
#include <array>

#include "ViewFixture.h"
#include "input/QtTabletDriver.h"
#include "input/TabletInput.h"
#include "support/ScriptedTabletDriver.h"

namespace {
// Pixel values of a size-4, hardness-0 dab centred at (4, 4): corner (2, 2), the four edge
// pixels next to it, the four centre pixels; everything else stays white.
using DabValues = std::array<int, 3>;
constexpr DabValues kFull = {235, 203, 108};
constexpr DabValues kHalf = {245, 229, 181};  // pressure 128
constexpr DabValues kNone = {255, 255, 255};

class TabletViewTest : public ViewTest {
  protected:
    void SetUp() override {
        auto driver = std::make_unique<CScriptedTabletDriver>();
        m_driver = driver.get();
        m_tablet.SetDriver(std::move(driver));
        context.tablet = &m_tablet;
    }

    // An 8 x 8 white frame under a size-4, hardness-0 drawing brush, in a shown view.
    void ShowSmallFrame() {
        MakeAnimation(8, 8);
        doc.m_brushes[0].Build(4, 0);
        doc.m_nDrawBrush = 0;
        ShowView(200, 200);
    }

    // A click whose dab is centred on stored (4, 4).
    void ClickCentre() {
        Press(At(4, 4));
        Release(At(4, 4));
    }

    void ExpectDab(const DabValues& v) {
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                int expected = 255;
                if (x >= 2 && x <= 4 && y >= 2 && y <= 4) {
                    const int inner = (x > 2) + (y > 2);
                    expected = inner == 0 ? v[0] : inner == 1 ? v[1] : v[2];
                }
                EXPECT_EQ(Pixel(0, x, y), expected) << x << "," << y;
            }
        }
    }

    CTabletInput m_tablet;  // outlives the view, which releases its binding
    CScriptedTabletDriver* m_driver = nullptr;
};

void SendTablet(QWidget* target, const QPointingDevice& pen, QEvent::Type type, double pressure) {
    QTabletEvent event(type, &pen, QPointF(1, 1), QPointF(1, 1), pressure, 0, 0, 0, 0, 0,
                       Qt::NoModifier, Qt::LeftButton,
                       type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
    QCoreApplication::sendEvent(target, &event);
}
}  // namespace

TEST_F(TabletViewTest, ReadingPerPointerEventSetsTheDab) {
    const struct {
        const char* what;
        std::vector<std::uint32_t> packets;  // queued before the click
        DabValues dab;
        std::size_t left;  // packets still queued after the click
    } cases[] = {
        {"pressure 128", {128, 128}, kHalf, 0},
        {"only the press has a packet", {128}, kHalf, 0},
        {"pen lifted: full pressure", {}, kFull, 0},
        {"0 is a reading, not a missing one", {0, 0}, kNone, 0},
        {"256 passes unchanged and acts like 0", {256, 256}, kNone, 0},
        {"384 acts like 128", {384}, kHalf, 0},
        {"one packet per event, oldest first", {128, 0, 255, 7}, kHalf, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShowSmallFrame();
        ASSERT_EQ(view->m_bTablet, 1);
        for (std::uint32_t p : c.packets) m_driver->QueuePressure(p);
        ClickCentre();
        ExpectDab(c.dab);
        EXPECT_EQ(m_driver->m_packets.size(), c.left);
        m_driver->m_packets.clear();
        view.reset();
    }
    EXPECT_TRUE(ui.m_messages.empty());
}

TEST_F(TabletViewTest, EachSegmentOfAStrokeTakesTheNextPacket) {
    MakeAnimation(64, 48);
    doc.m_nDrawBrush = 6;
    ShowView(200, 200);
    ASSERT_EQ(view->m_bTablet, 1);
    for (std::uint32_t p : {60u, 128u, 0u}) m_driver->QueuePressure(p);
    Press(At(10, 10));
    Move(At(20, 15));
    Move(At(30, 30));
    Move(At(40, 30));  // no packet left: full pressure
    Release(At(44, 31));

    GrayImage ref;
    ASSERT_EQ(ref.Create(64, 48), 1);
    ref.Fill(255);
    const BrushStamp& stamp = doc.m_brushes[6];
    ref.DrawStamp(stamp, 10, 38, 0, 60);
    ref.DrawLine(stamp, 10, 38, 20, 33, 0, 128);
    ref.DrawLine(stamp, 20, 33, 30, 18, 0, 0);
    ref.DrawLine(stamp, 30, 18, 40, 18, 0, 255);
    ref.DrawLine(stamp, 40, 18, 44, 17, 0, 255);
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(ref));
}

TEST_F(TabletViewTest, MinimisedViewDrawsAtFullPressureAndLeavesThePackets) {
    ShowSmallFrame();
    m_driver->QueuePressure(128);
    m_driver->QueuePressure(128);
    view->setWindowState(Qt::WindowMinimized);
    ClickCentre();
    ExpectDab(kFull);
    EXPECT_EQ(m_driver->m_packets.size(), 2u);
}

TEST_F(TabletViewTest, FailedBindingOrContextDrawsAtFullPressure) {
    const struct {
        const char* what;
        void (*script)(CScriptedTabletDriver&);
        QString message;
    } cases[] = {
        {"no library", [](CScriptedTabletDriver& d) { d.m_bLoads = false; },
         QStringLiteral("Could not load tablet dll : wintab32.dll")},
        {"entry point missing",
         [](CScriptedTabletDriver& d) { d.m_missingEntryPoints = {"WTPacketsGet"}; },
         QStringLiteral("At least one required function could not be loaded from WinTab32.dll")},
        {"no services", [](CScriptedTabletDriver& d) { d.m_nServices = 0; },
         QStringLiteral("No Tablet services are available")},
        {"other make", [](CScriptedTabletDriver& d) { d.m_deviceName = "Wacom Intuos"; },
         QStringLiteral("WACOM tablet not installed")},
        {"context refused", [](CScriptedTabletDriver& d) { d.m_bOpens = false; },
         QStringLiteral(" Could Not Open Tablet Context.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        ui.Clear();
        c.script(*m_driver);
        ShowSmallFrame();
        EXPECT_EQ(view->m_bTablet, 0);
        EXPECT_EQ(ui.Texts(), QStringList{c.message});
        m_driver->QueuePressure(128);
        ClickCentre();
        ExpectDab(kFull);
        EXPECT_EQ(m_driver->m_packets.size(), 1u);
        EXPECT_EQ(m_driver->m_calls.count("PacketsGet"), 0);
        view.reset();
    }
}

TEST_F(TabletViewTest, WindowDestructionClosesTheContextAndTheViewReleasesTheLibrary) {
    ShowSmallFrame();
    const HCTX context = m_driver->m_openContext;
    ASSERT_NE(context, 0u);
    EXPECT_EQ(m_driver->m_pOpenedWindow, view.get());
    m_driver->m_calls.clear();
    view.reset();
    EXPECT_EQ(m_driver->m_calls, (QStringList{"Close", "Unload"}));
    EXPECT_EQ(m_driver->m_closedContext, context);
}

TEST_F(TabletViewTest, StartUpWithoutATabletReportsOnceAndDrawsAtFullPressure) {
    m_tablet.SetDriver(nullptr);  // Qt's driver, on a machine without a tablet
    m_driver = nullptr;
    ShowSmallFrame();
    EXPECT_EQ(view->m_bTablet, 0);
    EXPECT_EQ(ui.Texts(), QStringList{QStringLiteral("No Tablet services are available")});
    ClickCentre();
    ExpectDab(kFull);
    EXPECT_EQ(ui.m_messages.size(), 1u);
}

TEST_F(TabletViewTest, QtTabletEventsOnThePaneGiveTheStrokesTheirPressure) {
    auto driver = std::make_unique<CQtTabletDriver>();
    CQtTabletDriver* qt = driver.get();
    m_tablet.SetDriver(std::move(driver));
    m_driver = nullptr;
    QPointingDevice pen(QStringLiteral("Wacom Intuos Pro M Pen stylus"), 77,
                        QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1,
                        3);
    // The pen came near before the view was built: Qt knows a Wacom tablet.
    QTabletEvent seen(QEvent::TabletMove, &pen, QPointF(), QPointF(), 0.2, 0, 0, 0, 0, 0,
                      Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    m_tablet.OnTabletEvent(&seen);

    ShowSmallFrame();
    ASSERT_EQ(view->m_bTablet, 1);
    EXPECT_TRUE(ui.m_messages.empty());

    // Each tablet event reaches the view through its pane and queues one packet; the mouse
    // events Qt makes of them read the packets in turn.
    SendTablet(Pane(), pen, QEvent::TabletPress, 0.5);
    EXPECT_EQ(qt->QueuedPackets(), 1);
    Press(At(4, 4));
    SendTablet(Pane(), pen, QEvent::TabletRelease, 0.0);
    Release(At(4, 4));
    EXPECT_EQ(qt->QueuedPackets(), 0);
    ExpectDab(kHalf);

    SendTablet(Pane(), pen, QEvent::TabletPress, 1.0);
    Press(At(4, 4));
    Release(At(4, 4));  // no packet: full pressure, and an equal-ended line draws nothing
    GrayImage ref;
    ASSERT_EQ(ref.Create(8, 8), 1);
    ref.Fill(255);
    ref.DrawStamp(doc.m_brushes[0], 4, 4, 0, 128);
    ref.DrawStamp(doc.m_brushes[0], 4, 4, 0, 255);
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(ref));
}

// The tablet choices with Qt's driver on a machine without a tablet at start: quiet start shows
// no message, and a pen that appears later gives the strokes its pressure from its first
// event on; another make needs Accept any. With both off it is the designed start: the
// message, and full pressure for good.
TEST_F(TabletViewTest, APenThatAppearsLaterGivesPressureByTheChoices) {
    const struct {
        const char* what;
        bool acceptAny, quietStart;
        const char* pen;
        QStringList messages;
        DabValues dab;
    } cases[] = {
        {"designed",
         false,
         false,
         "Wacom Intuos Pro M Pen stylus",
         {QStringLiteral("No Tablet services are available")},
         kFull},
        {"quiet start, a Wacom later", false, true, "Wacom Intuos Pro M Pen stylus", {}, kHalf},
        {"quiet start, another make stays refused", false, true, "Huion H610 Pen", {}, kFull},
        {"accept any, another make later", true, true, "Huion H610 Pen", {}, kHalf},
        {"accept any alone: reported at start, the pen still taken",
         true,
         false,
         "XP-Pen Deco",
         {QStringLiteral("No Tablet services are available")},
         kHalf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view.reset();
        ui.Clear();
        m_tablet.SetDriver(nullptr);
        m_driver = nullptr;
        m_tablet.SetAcceptAny(c.acceptAny);
        m_tablet.SetQuietStart(c.quietStart);
        ShowSmallFrame();
        EXPECT_EQ(view->m_bTablet, 0);
        EXPECT_EQ(ui.Texts(), c.messages);
        QPointingDevice pen(QString::fromLatin1(c.pen), 78, QInputDevice::DeviceType::Stylus,
                            QPointingDevice::PointerType::Pen,
                            QInputDevice::Capability::Position | QInputDevice::Capability::Pressure,
                            1, 3);
        SendTablet(Pane(), pen, QEvent::TabletPress, 0.5);
        Press(At(4, 4));
        Release(At(4, 4));
        ExpectDab(c.dab);
        EXPECT_EQ(view->m_bTablet, c.dab == kHalf ? 1 : 0);
        EXPECT_EQ(ui.Texts(), c.messages);
    }
    m_tablet.SetAcceptAny(false);
    m_tablet.SetQuietStart(false);
}
