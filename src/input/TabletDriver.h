#pragma once

#include <cstdint>
#include <string>

class QTabletEvent;
class QWidget;

// Our own view of a tablet driver, shaped after the six WinTab entry points the drawing view
// relies on, so that the binding logic runs unchanged over Qt's tablet support or a test double.

// An open context; 0 is none.
using HCTX = std::uintptr_t;

// Packet data bits of a context.
enum : std::uint32_t {
    PK_CURSOR = 0x0020,
    PK_BUTTONS = 0x0040,
    PK_X = 0x0080,
    PK_Y = 0x0100,
    PK_NORMAL_PRESSURE = 0x0400,
};

// The context description: the members the binding sets, plus those it keeps from the default
// system context.
struct TabletContext {
    char lcName[40] = {};
    std::uint32_t lcOptions = 0;
    std::uint32_t lcStatus = 0;
    std::uint32_t lcDevice = 0;
    std::uint32_t lcPktRate = 0;
    std::uint32_t lcPktData = 0;
    std::uint32_t lcPktMode = 0;
    std::uint32_t lcMoveMask = 0;
    std::uint32_t lcBtnDnMask = 0;
    std::uint32_t lcBtnUpMask = 0;
    std::int32_t lcInOrgX = 0;
    std::int32_t lcInOrgY = 0;
    std::int32_t lcInExtX = 0;
    std::int32_t lcInExtY = 0;
    std::int32_t lcOutOrgX = 0;
    std::int32_t lcOutOrgY = 0;
    std::int32_t lcOutExtX = 0;
    std::int32_t lcOutExtY = 0;
    std::int32_t lcSysOrgX = 0;
    std::int32_t lcSysOrgY = 0;
    std::int32_t lcSysExtX = 0;
    std::int32_t lcSysExtY = 0;

    bool operator==(const TabletContext&) const = default;
};

// One packet with the data PK_CURSOR | PK_BUTTONS | PK_X | PK_Y | PK_NORMAL_PRESSURE.
struct TabletPacket {
    std::uint32_t pkCursor = 0;
    std::uint32_t pkButtons = 0;
    std::int32_t pkX = 0;
    std::int32_t pkY = 0;
    std::uint32_t pkNormalPressure = 0;
};
static_assert(sizeof(TabletPacket) == 20);

// The entry points a driver must offer, looked up in this order.
inline constexpr const char* kTabletEntryPoints[6] = {"WTInfoA", "WTOpenA",      "WTClose",
                                                      "WTGetA",  "WTPacketsGet", "WTOverlap"};

class ITabletDriver {
  public:
    virtual ~ITabletDriver() = default;

    // Loads the driver library; false when it is not installed.
    virtual bool Load() = 0;
    // Whether the loaded library offers the named entry point.
    virtual bool HasEntryPoint(const char* name) = 0;
    // WTInfoA(0, 0, none): non-zero when tablet services are available.
    virtual unsigned ServicesAvailable() = 0;
    // The name of the first device, whatever its length.
    virtual std::string DeviceName() = 0;
    // The default system context, the starting point of the view's own context.
    virtual TabletContext DefaultContext() = 0;
    // Opens a context for the window; 0 when it could not be opened.
    virtual HCTX Open(QWidget* window, const TabletContext& context, bool enable) = 0;
    // Brings the context to the top of the overlap order.
    virtual bool Overlap(HCTX context, bool toTop) = 0;
    // Copies up to maxPackets of the oldest waiting packets, removing them from the queue;
    // returns how many were copied.
    virtual int PacketsGet(HCTX context, int maxPackets, TabletPacket* packets) = 0;
    virtual bool Close(HCTX context) = 0;
    // Releases the library loaded by Load.
    virtual void Unload() = 0;

    // A tablet event reached the drawing view. Only drivers fed by the windowing system use it.
    virtual void OnTabletEvent(const QTabletEvent&) {}
};
