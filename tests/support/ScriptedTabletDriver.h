#pragma once

#include <QStringList>
#include <QWidget>
#include <deque>
#include <set>

#include "input/TabletDriver.h"

// Test double of the tablet driver: each step can be made to fail, the device name is set by
// the test, packets are queued by the test, and every call is recorded in order.
class CScriptedTabletDriver : public ITabletDriver {
  public:
    bool Load() override;
    bool HasEntryPoint(const char* name) override;
    unsigned ServicesAvailable() override;
    std::string DeviceName() override;
    TabletContext DefaultContext() override;
    HCTX Open(QWidget* window, const TabletContext& context, bool enable) override;
    bool Overlap(HCTX context, bool toTop) override;
    int PacketsGet(HCTX context, int maxPackets, TabletPacket* packets) override;
    bool Close(HCTX context) override;
    void Unload() override;

    void QueuePressure(std::uint32_t pressure);

    // Script.
    bool m_bLoads = true;
    std::set<std::string> m_missingEntryPoints;
    unsigned m_nServices = 1;
    std::string m_deviceName = "WACOM Intuos";
    TabletContext m_defaultContext;
    bool m_bOpens = true;
    std::deque<TabletPacket> m_packets;

    // Record: "Load", "HasEntryPoint WTInfoA", "ServicesAvailable", "DeviceName",
    // "DefaultContext", "Open", "Overlap", "PacketsGet", "Close", "Unload".
    QStringList m_calls;
    TabletContext m_openedContext;
    QWidget* m_pOpenedWindow = nullptr;
    bool m_bOpenedEnabled = false;
    HCTX m_openContext = 0;    // the handle of the context now open, 0 when none
    HCTX m_closedContext = 0;  // the handle last passed to Close
    bool m_bLoaded = false;
};
