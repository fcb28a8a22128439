// The tablet binding over the scripted driver: every message path of binding and context
// opening, the context the view asks for, the one-way state and the pressure reads.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointingDevice>
#include <QScreen>
#include <QSettings>
#include <QTabletEvent>
#include <QWidget>
#include <functional>

#include "input/TabletInput.h"
#include "support/ScriptedTabletDriver.h"
#include "support/ScriptedUi.h"

namespace {
const QString kNoDll = QStringLiteral("Could not load tablet dll : wintab32.dll");
const QString kNoFunction =
    QStringLiteral("At least one required function could not be loaded from WinTab32.dll");
const QString kNoServices = QStringLiteral("No Tablet services are available");
const QString kNotWacom = QStringLiteral("WACOM tablet not installed");
const QString kNoContext = QStringLiteral(" Could Not Open Tablet Context.");

const QStringList kLookups = {"HasEntryPoint WTInfoA",      "HasEntryPoint WTOpenA",
                              "HasEntryPoint WTClose",      "HasEntryPoint WTGetA",
                              "HasEntryPoint WTPacketsGet", "HasEntryPoint WTOverlap"};

class TabletInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto driver = std::make_unique<CScriptedTabletDriver>();
        m_driver = driver.get();
        m_input.SetDriver(std::move(driver));
    }

    // Binds and opens the context as the view does at construction and window creation.
    int BindAndOpen() {
        const int bTablet = m_input.Bind();
        return m_input.OpenContext(&m_view, bTablet);
    }

    CScriptedUi m_ui;
    CTabletInput m_input;
    CScriptedTabletDriver* m_driver = nullptr;
    QWidget m_view;
};

void ExpectOkBoxes(const CScriptedUi& ui, const QStringList& texts) {
    EXPECT_EQ(ui.Texts(), texts);
    for (const auto& message : ui.m_messages) {
        EXPECT_EQ(message.type & MB_TYPEMASK, MB_OK) << message.text.toStdString();
        EXPECT_EQ(message.caption, QStringLiteral("Lumvane"));
    }
}
}  // namespace

TEST_F(TabletInputTest, BindingReportsEachFailureOnceWithItsText) {
    struct Case {
        const char* what;
        std::function<void(CScriptedTabletDriver&)> script;
        int bTablet;
        QStringList messages;
        QStringList calls;
        bool unloadsOnRelease;
    };
    const QStringList bound = QStringList{"Load"} + kLookups;
    const std::vector<Case> cases = {
        {"no library", [](auto& d) { d.m_bLoads = false; }, 0, {kNoDll}, {"Load"}, false},
        {"first entry point missing",
         [](auto& d) { d.m_missingEntryPoints = {"WTInfoA"}; },
         0,
         {kNoFunction},
         bound,
         true},
        {"last entry point missing",
         [](auto& d) { d.m_missingEntryPoints = {"WTOverlap"}; },
         0,
         {kNoFunction},
         bound,
         true},
        {"WTGetA missing, though never called",
         [](auto& d) { d.m_missingEntryPoints = {"WTGetA"}; },
         0,
         {kNoFunction},
         bound,
         true},
        {"all entry points missing",
         [](auto& d) {
             for (const char* name : kTabletEntryPoints) d.m_missingEntryPoints.insert(name);
         },
         0,
         {kNoFunction},
         bound,
         true},
        {"no services",
         [](auto& d) { d.m_nServices = 0; },
         0,
         {kNoServices},
         bound + QStringList{"ServicesAvailable"},
         true},
        {"WACOM device",
         [](auto&) {},
         1,
         {},
         bound + QStringList{"ServicesAvailable", "DeviceName"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        m_ui.Clear();
        c.script(*m_driver);
        EXPECT_EQ(m_input.Bind(), c.bTablet);
        ExpectOkBoxes(m_ui, c.messages);
        EXPECT_EQ(m_driver->m_calls, c.calls);
        m_driver->m_calls.clear();
        m_input.Release();
        EXPECT_EQ(m_driver->m_calls, c.unloadsOnRelease ? QStringList{"Unload"} : QStringList{});
    }
}

TEST_F(TabletInputTest, DeviceNameMustBeginWithWacomInCapitals) {
    const std::string longWacom = "WACOM" + std::string(300, 'x');
    const std::string longOther = "Huion " + std::string(300, 'W');
    const struct {
        std::string name;
        int bTablet;
    } cases[] = {
        {"WACOM Intuos", 1},
        {"WACOM", 1},
        {"WACOMx", 1},
        {longWacom, 1},
        {"Wacom Intuos", 0},
        {"wacom intuos", 0},
        {"WACOm Intuos", 0},
        {"WACO", 0},
        {"", 0},
        {" WACOM Intuos", 0},
        {"Huion", 0},
        {longOther, 0},
        {std::string("WAC\0OM", 6), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        SetUp();
        m_ui.Clear();
        m_driver->m_deviceName = c.name;
        EXPECT_EQ(m_input.Bind(), c.bTablet);
        ExpectOkBoxes(m_ui, c.bTablet ? QStringList{} : QStringList{kNotWacom});
        // A refused device gets no context, whatever the driver could do.
        EXPECT_EQ(m_input.OpenContext(&m_view, c.bTablet), c.bTablet);
        EXPECT_EQ(m_driver->m_calls.count("Open"), c.bTablet);
        EXPECT_EQ(m_ui.m_messages.size(), c.bTablet ? 0u : 1u);
    }
}

TEST_F(TabletInputTest, ContextIsTheDefaultWithTheViewsChanges) {
    TabletContext defaults;
    std::snprintf(defaults.lcName, sizeof(defaults.lcName), "Default");
    defaults.lcOptions = 0x0004;
    defaults.lcStatus = 7;
    defaults.lcDevice = 3;
    defaults.lcPktRate = 100;
    defaults.lcPktData = 0xFFFF;
    defaults.lcPktMode = 0x0400;
    defaults.lcMoveMask = 0x1;
    defaults.lcBtnDnMask = 0x0000'00F3;
    defaults.lcBtnUpMask = 0x0000'0001;
    defaults.lcInExtX = 45720;
    defaults.lcInExtY = 31680;
    defaults.lcOutOrgX = 11;
    defaults.lcOutOrgY = 12;
    defaults.lcOutExtX = 13;
    defaults.lcOutExtY = 14;
    defaults.lcSysExtX = 1920;
    defaults.lcSysExtY = 1080;
    m_driver->m_defaultContext = defaults;

    ASSERT_EQ(BindAndOpen(), 1);
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_EQ(m_driver->m_calls.mid(m_driver->m_calls.size() - 2),
              (QStringList{"DefaultContext", "Open"}));
    EXPECT_EQ(m_driver->m_pOpenedWindow, &m_view);
    EXPECT_TRUE(m_driver->m_bOpenedEnabled);

    TabletContext expected = defaults;
    const std::string name = "ZirIzavi Digitizing " +
                             QString::number(QCoreApplication::applicationPid(), 16).toStdString();
    std::snprintf(expected.lcName, sizeof(expected.lcName), "%s", name.c_str());
    expected.lcPktData = 0x5E0;
    expected.lcMoveMask = 0x5E0;
    expected.lcPktMode = 0;
    expected.lcBtnUpMask = 0xF3;
    expected.lcOutOrgX = 0;
    expected.lcOutOrgY = 0;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    expected.lcOutExtX = screen.width();
    expected.lcOutExtY = -screen.height();
    EXPECT_STREQ(m_driver->m_openedContext.lcName, name.c_str());
    EXPECT_TRUE(m_driver->m_openedContext == expected);
    EXPECT_GT(screen.width(), 0);
}

TEST_F(TabletInputTest, ContextThatWillNotOpenIsReportedWithItsLeadingSpace) {
    m_driver->m_bOpens = false;
    EXPECT_EQ(m_input.Bind(), 1);
    EXPECT_EQ(m_input.OpenContext(&m_view, 1), 0);
    ExpectOkBoxes(m_ui, {kNoContext});
    EXPECT_EQ(m_ui.m_messages.front().text.at(0), QChar(' '));

    // Disabled for good: a later window creation neither opens nor reports.
    m_driver->m_bOpens = true;
    m_driver->m_calls.clear();
    EXPECT_EQ(m_input.OpenContext(&m_view, 0), 0);
    EXPECT_TRUE(m_driver->m_calls.isEmpty());
    EXPECT_EQ(m_ui.m_messages.size(), 1u);

    // No context: nothing to close, but the library is released.
    m_input.CloseContext();
    m_input.Release();
    EXPECT_EQ(m_driver->m_calls, QStringList{"Unload"});
}

TEST_F(TabletInputTest, ClearedStateIsNeverSetBackByTheFacade) {
    // Whatever the driver can do later, a cleared m_bTablet stays 0 through every call.
    m_driver->m_nServices = 0;
    const int bTablet = m_input.Bind();
    EXPECT_EQ(bTablet, 0);
    m_driver->m_nServices = 1;
    m_driver->QueuePressure(100);
    EXPECT_EQ(m_input.OpenContext(&m_view, bTablet), 0);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    EXPECT_EQ(m_driver->m_packets.size(), 1u);
    ExpectOkBoxes(m_ui, {kNoServices});
}

TEST_F(TabletInputTest, EachReadTakesTheOldestPacketUnchanged) {
    ASSERT_EQ(BindAndOpen(), 1);
    const std::uint32_t queued[] = {128, 0, 255, 256, 1023, 70000, 0x8000'0080u};
    for (std::uint32_t p : queued) m_driver->QueuePressure(p);
    m_driver->m_calls.clear();

    const int expected[] = {128, 0, 255, 256, 1023, 70000, 0x80};
    for (int e : expected) EXPECT_EQ(m_input.ReadTabletPressure(&m_view), e);
    // One overlap and one single-packet fetch per read.
    QStringList perRead;
    for (int i = 0; i < 7; ++i)
        perRead << "Overlap"
                << "PacketsGet";
    EXPECT_EQ(m_driver->m_calls, perRead);

    // Pen lifted: nothing waiting.
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(TabletInputTest, MinimisedViewReadsNothingAndKeepsTheQueue) {
    ASSERT_EQ(BindAndOpen(), 1);
    m_driver->QueuePressure(77);
    m_driver->m_calls.clear();

    m_view.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);

    // A child of a minimised window counts as minimised too.
    auto* child = new QWidget(&m_view);
    EXPECT_EQ(m_input.ReadTabletPressure(child), -1);
    EXPECT_TRUE(m_driver->m_calls.isEmpty());
    EXPECT_EQ(m_input.ReadTabletPressure(nullptr), -1);

    m_view.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(m_input.ReadTabletPressure(child), 77);
    EXPECT_EQ(m_input.ReadTabletPressure(child), -1);
}

TEST_F(TabletInputTest, ClosingAndReleasingFollowTheWindowAndTheView) {
    ASSERT_EQ(BindAndOpen(), 1);
    const HCTX handle = m_driver->m_openContext;
    ASSERT_NE(handle, 0u);
    m_driver->QueuePressure(50);
    m_driver->m_calls.clear();

    m_input.CloseContext();
    EXPECT_EQ(m_driver->m_calls, QStringList{"Close"});
    EXPECT_EQ(m_driver->m_closedContext, handle);
    // Closed: reads find nothing, a second close does nothing.
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    m_input.CloseContext();
    EXPECT_EQ(m_driver->m_calls, QStringList{"Close"});

    m_input.Release();
    EXPECT_EQ(m_driver->m_calls, (QStringList{"Close", "Unload"}));
    m_input.Release();
    EXPECT_EQ(m_driver->m_calls, (QStringList{"Close", "Unload"}));
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(TabletInputTest, ReleaseWithTheContextStillOpenClosesItFirst) {
    ASSERT_EQ(BindAndOpen(), 1);
    m_driver->m_calls.clear();
    m_input.Release();
    EXPECT_EQ(m_driver->m_calls, (QStringList{"Close", "Unload"}));
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
}

// The two tablet choices: a device of any name is taken, the start-up messages are skipped,
// and with either on a pen missing or refused at start is bound silently by its first event.
// With both off the binding is the designed one: messages at start and never bound later.
TEST_F(TabletInputTest, ChoicesAcceptAnyMakeAndQuietStart) {
    struct Case {
        const char* what;
        bool acceptAny, quietStart;
        std::function<void(CScriptedTabletDriver&)> atStart;
        int bTablet;  // after start
        QStringList messages;
        std::function<void(CScriptedTabletDriver&)> later;  // before the pen's first event
        int bTabletLater;
    };
    const auto huion = [](auto& d) { d.m_deviceName = "Huion H610"; };
    const auto none = [](auto& d) { d.m_nServices = 0; };
    const auto wacom = [](auto& d) {
        d.m_bLoads = true;
        d.m_nServices = 1;
        d.m_bOpens = true;
    };
    const auto huionLater = [](auto& d) {
        d.m_nServices = 1;
        d.m_deviceName = "Huion H610";
    };
    const std::vector<Case> cases = {
        {"off: another make is refused for good", false, false, huion, 0, {kNotWacom}, huion, 0},
        {"off: a pen after a start without one stays unused",
         false,
         false,
         none,
         0,
         {kNoServices},
         wacom,
         0},
        {"accept any: another make gives pressure", true, false, huion, 1, {}, huion, 1},
        {"accept any: still reports a missing tablet, takes the pen later",
         true,
         false,
         none,
         0,
         {kNoServices},
         huionLater,
         1},
        {"quiet: no services, no message, the pen later", false, true, none, 0, {}, wacom, 1},
        {"quiet: no library, no message, the library later",
         false,
         true,
         [](auto& d) { d.m_bLoads = false; },
         0,
         {},
         wacom,
         1},
        {"quiet: a context that will not open, no message",
         false,
         true,
         [](auto& d) { d.m_bOpens = false; },
         0,
         {},
         wacom,
         1},
        {"quiet: another make is still refused, silently", false, true, huion, 0, {}, huion, 0},
        {"both: another make later", true, true, none, 0, {}, huionLater, 1},
    };
    const std::unique_ptr<QPointingDevice> pen = std::make_unique<QPointingDevice>(
        QStringLiteral("pen"), 4242, QInputDevice::DeviceType::Stylus,
        QPointingDevice::PointerType::Pen,
        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
    QTabletEvent event(QEvent::TabletPress, pen.get(), QPointF(1, 2), QPointF(1, 2), 0.5, 0, 0, 0,
                       0, 0, Qt::NoModifier, Qt::LeftButton, Qt::LeftButton);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        m_ui.Clear();
        m_input.SetAcceptAny(c.acceptAny);
        m_input.SetQuietStart(c.quietStart);
        c.atStart(*m_driver);
        const int bTablet = BindAndOpen();
        EXPECT_EQ(bTablet, c.bTablet);
        ExpectOkBoxes(m_ui, c.messages);
        c.later(*m_driver);
        const int opens = static_cast<int>(m_driver->m_calls.count("Open"));
        EXPECT_EQ(m_input.OnPenEvent(&event, &m_view, bTablet), c.bTabletLater);
        EXPECT_EQ(m_driver->m_calls.count("Open"), opens + (c.bTabletLater && !bTablet ? 1 : 0));
        m_driver->QueuePressure(100);
        EXPECT_EQ(m_input.ReadTabletPressure(&m_view), c.bTabletLater ? 100 : -1);
        // Nothing is reported after the start.
        ExpectOkBoxes(m_ui, c.messages);
        m_input.Release();
        EXPECT_EQ(m_driver->m_calls.count("Unload"), m_driver->m_bLoads ? 1 : 0);
    }
}

// Accept any, switched off while another make is in use, stops its pressure; switched on
// again, the pen's next event brings it back.
TEST_F(TabletInputTest, AcceptAnyTakesEffectAtOnce) {
    m_driver->m_deviceName = "XP-Pen";
    m_input.SetAcceptAny(true);
    const int bTablet = BindAndOpen();
    ASSERT_EQ(bTablet, 1);
    m_input.SetAcceptAny(false);
    m_driver->QueuePressure(90);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    QTabletEvent event(QEvent::TabletMove, QPointingDevice::primaryPointingDevice(), QPointF(),
                       QPointF(), 0.5, 0, 0, 0, 0, 0, Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(m_input.OnPenEvent(&event, &m_view, bTablet), 1);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), -1);
    m_input.SetAcceptAny(true);
    EXPECT_EQ(m_input.OnPenEvent(&event, &m_view, bTablet), 1);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), 90);
    // A WACOM stays when the choice goes off.
    SetUp();
    m_input.SetAcceptAny(true);
    ASSERT_EQ(BindAndOpen(), 1);
    m_input.SetAcceptAny(false);
    m_driver->QueuePressure(80);
    EXPECT_EQ(m_input.ReadTabletPressure(&m_view), 80);
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(TabletInputTest, ChoicesAreReadFromTheSettingsFile) {
    QSettings().remove(QStringLiteral("Tablet"));
    EXPECT_FALSE(CTabletInput::AcceptAnySetting());
    EXPECT_FALSE(CTabletInput::QuietStartSetting());
    QSettings().setValue(QStringLiteral("Tablet/AcceptAny"), true);
    EXPECT_TRUE(CTabletInput::AcceptAnySetting());
    EXPECT_FALSE(CTabletInput::QuietStartSetting());
    QSettings().setValue(QStringLiteral("Tablet/QuietStart"), true);
    EXPECT_TRUE(CTabletInput::QuietStartSetting());
    QSettings().remove(QStringLiteral("Tablet"));
}
