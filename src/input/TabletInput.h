#pragma once

#include <memory>

#include "input/TabletDriver.h"

class QWidget;
class QTabletEvent;

// Pen pressure for the drawing view: one driver, whether its library is loaded, and one open
// context. The view keeps m_bTablet; these calls are its tablet life: binding at construction,
// the context at window creation and destruction, one pressure read per pointer event, and
// the packets Qt delivers as tablet events. One binding serves every view of the program.
class CTabletInput {
  public:
    // Without a driver, the platform's own (Qt's tablet support).
    explicit CTabletInput(std::unique_ptr<ITabletDriver> driver = nullptr);
    ~CTabletInput();
    CTabletInput(const CTabletInput&) = delete;
    CTabletInput& operator=(const CTabletInput&) = delete;

    // Binds the tablet driver; shows the failure message, if any. Returns the new m_bTablet.
    int Bind();
    // Opens the context for the view's window when bTablet is 1. Returns the new m_bTablet.
    int OpenContext(QWidget* view, int bTablet);
    // The next queued pressure, or -1 when the view is minimised or none is waiting.
    int ReadTabletPressure(QWidget* view);
    // Closes the context, if one is open.
    void CloseContext();
    // Releases the driver, if it was loaded.
    void Release();
    // Queues one packet for a tablet event that reached the view.
    void OnTabletEvent(QTabletEvent* event);

    // Two choices beyond the binding above, both off by default. Accept any: a device of any
    // name gives pressure. Quiet start: binding and context opening show no message. With
    // either on, a pen that was missing or refused when the view was made is bound, silently,
    // when its first event reaches the view.
    static bool AcceptAnySetting();   // Tablet/AcceptAny of the settings file
    static bool QuietStartSetting();  // Tablet/QuietStart
    void SetAcceptAny(bool accept);
    bool AcceptAny() const { return m_bAcceptAny; }
    void SetQuietStart(bool quiet) { m_bQuietStart = quiet; }
    bool QuietStart() const { return m_bQuietStart; }
    // A tablet event reached the view, whose tablet state is bTablet: queues its packet (as
    // OnTabletEvent) after binding a late pen. Returns the view's new tablet state.
    int OnPenEvent(QTabletEvent* event, QWidget* view, int bTablet);

    // Installs the driver the binding uses from now on, forgetting any binding and context of
    // the previous one; nullptr brings back a fresh driver of this platform.
    void SetDriver(std::unique_ptr<ITabletDriver> driver);
    ITabletDriver& Driver() { return *m_pDriver; }

  private:
    // Binding steps after the load: entry points, services, device name.
    int Check(bool report);
    int Open(QWidget* view, bool report);

    std::unique_ptr<ITabletDriver> m_pDriver;
    bool m_bAcceptAny = false;
    bool m_bQuietStart = false;
    bool m_bOtherMake = false;  // the device bound is not a WACOM: only the choice lets it in
    int m_nLoads = 0;           // Bind calls whose load succeeded and that are not yet released
    HCTX m_hContext = 0;
};
