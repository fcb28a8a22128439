#pragma once

#include <QString>
#include <array>

#include "input/TabletDriver.h"

// The tablet driver of this platform: Qt's tablet support. Qt hands the pen to the drawing view
// as tablet events; each one becomes a packet in the open context's queue, to be fetched one per
// pointer event.
class CQtTabletDriver : public ITabletDriver {
  public:
    // Packets kept while nobody reads them; further ones are dropped, as by a full driver queue.
    static constexpr int kQueueSize = 128;

    bool Load() override { return true; }
    bool HasEntryPoint(const char* name) override;
    unsigned ServicesAvailable() override;
    std::string DeviceName() override;
    TabletContext DefaultContext() override;
    HCTX Open(QWidget* window, const TabletContext& context, bool enable) override;
    bool Overlap(HCTX context, bool toTop) override;
    int PacketsGet(HCTX context, int maxPackets, TabletPacket* packets) override;
    bool Close(HCTX context) override;
    void Unload() override;
    void OnTabletEvent(const QTabletEvent& event) override;

    // The name the binding sees for a device Qt names qtName: Wacom devices begin with
    // "WACOM" (Qt spells the vendor in mixed case), other makes keep their own name.
    static QString ReportedName(const QString& qtName);
    // Qt's pressure 0.0..1.0 as a packet pressure 0..255.
    static std::uint32_t ScalePressure(double pressure);

    int QueuedPackets() const { return m_nCount; }

  private:
    QString m_lastDeviceName;  // of the last tablet event, for devices Qt does not list
    bool m_bEventSeen = false;
    HCTX m_context = 0;
    HCTX m_lastHandle = 0;
    bool m_bEnabled = false;
    std::array<TabletPacket, kQueueSize> m_queue{};
    int m_nFirst = 0;
    int m_nCount = 0;
};
