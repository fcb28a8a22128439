#include "input/TabletInput.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTabletEvent>
#include <QWidget>
#include <cstdio>

#include "framework/Ui.h"
#include "input/QtTabletDriver.h"

namespace TabletInput {
namespace {
// The process-wide binding: one driver, whether its library is loaded, one context.
struct Binding {
    std::unique_ptr<ITabletDriver> driver;
    int nLoads = 0;  // Bind calls whose load succeeded and that are not yet released
    HCTX context = 0;
};

Binding& State() {
    static Binding binding;
    if (!binding.driver) binding.driver = std::make_unique<CQtTabletDriver>();
    return binding;
}

bool IsMinimized(QWidget* view) {
    if (!view) return true;
    const QWidget* window = view->window();
    return view->isMinimized() || (window && window->isMinimized());
}
}  // namespace

int Bind() {
    Binding& state = State();
    ITabletDriver& driver = *state.driver;
    int bTablet = 0;
    if (!driver.Load()) {
        AfxMessageBox(QStringLiteral("Could not load tablet dll : wintab32.dll"), MB_OK);
        return bTablet;
    }
    ++state.nLoads;

    bTablet = 1;
    // Every entry point is looked up, even after one is found missing.
    for (const char* name : kTabletEntryPoints) {
        if (!driver.HasEntryPoint(name)) bTablet = 0;
    }
    if (!bTablet) {
        AfxMessageBox(
            QStringLiteral("At least one required function could not be loaded from WinTab32.dll"),
            MB_OK);
        return bTablet;
    }

    if (driver.ServicesAvailable() == 0) {
        AfxMessageBox(QStringLiteral("No Tablet services are available"), MB_OK);
        return 0;
    }

    // Only the first five characters count; a shorter name differs.
    const std::string name = driver.DeviceName();
    if (name.compare(0, 5, "WACOM") != 0) {
        AfxMessageBox(QStringLiteral("WACOM tablet not installed"), MB_OK);
        return 0;
    }
    return 1;
}

int OpenContext(QWidget* view, int bTablet) {
    if (bTablet != 1) return 0;
    Binding& state = State();
    if (state.nLoads == 0) return 0;
    ITabletDriver& driver = *state.driver;
    if (state.context != 0) {
        driver.Close(state.context);
        state.context = 0;
    }

    TabletContext context = driver.DefaultContext();
    std::snprintf(context.lcName, sizeof(context.lcName), "ZirIzavi Digitizing %llx",
                  static_cast<unsigned long long>(QCoreApplication::applicationPid()));
    context.lcPktData = PK_CURSOR | PK_BUTTONS | PK_X | PK_Y | PK_NORMAL_PRESSURE;
    context.lcMoveMask = context.lcPktData;
    context.lcPktMode = 0;
    context.lcBtnUpMask = context.lcBtnDnMask;
    context.lcOutOrgX = 0;
    context.lcOutOrgY = 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize();
    context.lcOutExtX = size.width();
    context.lcOutExtY = -size.height();

    state.context = driver.Open(view, context, true);
    if (state.context == 0) {
        AfxMessageBox(QStringLiteral(" Could Not Open Tablet Context."), MB_OK);
        return 0;
    }
    return 1;
}

int ReadTabletPressure(QWidget* view) {
    if (IsMinimized(view)) return -1;
    Binding& state = State();
    if (state.context == 0) return -1;
    state.driver->Overlap(state.context, true);
    TabletPacket packet;
    if (state.driver->PacketsGet(state.context, 1, &packet) <= 0) return -1;
    // Raw pressure; values beyond the int range keep their low bits, which are all the strokes
    // use, instead of turning negative and reading as "no packet".
    return static_cast<int>(packet.pkNormalPressure & 0x7FFFFFFFu);
}

void CloseContext() {
    Binding& state = State();
    if (state.context == 0) return;
    state.driver->Close(state.context);
    state.context = 0;
}

void Release() {
    Binding& state = State();
    if (state.nLoads == 0) return;
    if (--state.nLoads > 0) return;
    // A context left open by a window that was never destroyed dies with the library.
    if (state.context != 0) {
        state.driver->Close(state.context);
        state.context = 0;
    }
    state.driver->Unload();
}

void OnTabletEvent(QTabletEvent* event) {
    if (event) State().driver->OnTabletEvent(*event);
}

void SetDriver(std::unique_ptr<ITabletDriver> driver) {
    Binding& state = State();
    state.driver = driver ? std::move(driver) : std::make_unique<CQtTabletDriver>();
    state.nLoads = 0;
    state.context = 0;
}

ITabletDriver& Driver() {
    return *State().driver;
}
}  // namespace TabletInput
