#include "input/TabletInput.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTabletEvent>
#include <QWidget>
#include <cstdio>

#include "framework/Ui.h"
#include "input/QtTabletDriver.h"

namespace {
bool IsMinimized(QWidget* view) {
    if (!view) return true;
    const QWidget* window = view->window();
    return view->isMinimized() || (window && window->isMinimized());
}
}  // namespace

CTabletInput::CTabletInput(std::unique_ptr<ITabletDriver> driver) {
    SetDriver(std::move(driver));
}

CTabletInput::~CTabletInput() = default;

bool CTabletInput::AcceptAnySetting() {
    return QSettings().value(QStringLiteral("Tablet/AcceptAny"), false).toBool();
}

bool CTabletInput::QuietStartSetting() {
    return QSettings().value(QStringLiteral("Tablet/QuietStart"), false).toBool();
}

void CTabletInput::SetAcceptAny(bool accept) {
    m_bAcceptAny = accept;
    // A pen let in only by the choice gives no more pressure once it is off.
    if (!accept && m_bOtherMake) CloseContext();
}

int CTabletInput::Bind() {
    ITabletDriver& driver = *m_pDriver;
    const bool report = !m_bQuietStart;
    if (!driver.Load()) {
        if (report)
            AfxMessageBox(QStringLiteral("Could not load tablet dll : wintab32.dll"), MB_OK);
        return 0;
    }
    ++m_nLoads;
    return Check(report);
}

int CTabletInput::Check(bool report) {
    ITabletDriver& driver = *m_pDriver;
    int bTablet = 1;
    // Every entry point is looked up, even after one is found missing.
    for (const char* name : kTabletEntryPoints) {
        if (!driver.HasEntryPoint(name)) bTablet = 0;
    }
    if (!bTablet) {
        if (report)
            AfxMessageBox(
                QStringLiteral(
                    "At least one required function could not be loaded from WinTab32.dll"),
                MB_OK);
        return bTablet;
    }

    if (driver.ServicesAvailable() == 0) {
        if (report) AfxMessageBox(QStringLiteral("No Tablet services are available"), MB_OK);
        return 0;
    }

    // Only the first five characters count; a shorter name differs.
    const std::string name = driver.DeviceName();
    m_bOtherMake = name.compare(0, 5, "WACOM") != 0;
    if (m_bOtherMake && !m_bAcceptAny) {
        if (report) AfxMessageBox(QStringLiteral("WACOM tablet not installed"), MB_OK);
        return 0;
    }
    return 1;
}

int CTabletInput::OpenContext(QWidget* view, int bTablet) {
    if (bTablet != 1) return 0;
    return Open(view, !m_bQuietStart);
}

int CTabletInput::Open(QWidget* view, bool report) {
    if (m_nLoads == 0) return 0;
    ITabletDriver& driver = *m_pDriver;
    if (m_hContext != 0) {
        driver.Close(m_hContext);
        m_hContext = 0;
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

    m_hContext = driver.Open(view, context, true);
    if (m_hContext == 0) {
        if (report) AfxMessageBox(QStringLiteral(" Could Not Open Tablet Context."), MB_OK);
        return 0;
    }
    return 1;
}

int CTabletInput::OnPenEvent(QTabletEvent* event, QWidget* view, int bTablet) {
    if (!event) return bTablet;
    // The driver learns of the pen first: that is how a pen that came late is found.
    m_pDriver->OnTabletEvent(*event);
    const bool late = (m_bAcceptAny || m_bQuietStart) && view && (!bTablet || m_hContext == 0);
    if (!late) return bTablet;
    if (m_nLoads == 0) {
        if (!m_pDriver->Load()) return bTablet;
        ++m_nLoads;
    }
    if (!Check(false) || !Open(view, false)) return bTablet;
    // The event that found the pen gives the first packet of the new context.
    m_pDriver->OnTabletEvent(*event);
    return 1;
}

int CTabletInput::ReadTabletPressure(QWidget* view) {
    if (IsMinimized(view)) return -1;
    if (m_hContext == 0) return -1;
    m_pDriver->Overlap(m_hContext, true);
    TabletPacket packet;
    if (m_pDriver->PacketsGet(m_hContext, 1, &packet) <= 0) return -1;
    // Raw pressure; values beyond the int range keep their low bits, which are all the strokes
    // use, instead of turning negative and reading as "no packet".
    return static_cast<int>(packet.pkNormalPressure & 0x7FFFFFFFu);
}

void CTabletInput::CloseContext() {
    if (m_hContext == 0) return;
    m_pDriver->Close(m_hContext);
    m_hContext = 0;
}

void CTabletInput::Release() {
    if (m_nLoads == 0) return;
    if (--m_nLoads > 0) return;
    // A context left open by a window that was never destroyed dies with the library.
    if (m_hContext != 0) {
        m_pDriver->Close(m_hContext);
        m_hContext = 0;
    }
    m_pDriver->Unload();
}

void CTabletInput::OnTabletEvent(QTabletEvent* event) {
    if (event) m_pDriver->OnTabletEvent(*event);
}

void CTabletInput::SetDriver(std::unique_ptr<ITabletDriver> driver) {
    m_pDriver = driver ? std::move(driver) : std::make_unique<CQtTabletDriver>();
    m_nLoads = 0;
    m_hContext = 0;
}
