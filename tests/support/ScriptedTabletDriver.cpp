#include "support/ScriptedTabletDriver.h"

bool CScriptedTabletDriver::Load() {
    m_calls << QStringLiteral("Load");
    m_bLoaded = m_bLoads;
    return m_bLoads;
}

bool CScriptedTabletDriver::HasEntryPoint(const char* name) {
    m_calls << QStringLiteral("HasEntryPoint ") + QString::fromLatin1(name);
    return m_missingEntryPoints.count(name) == 0;
}

unsigned CScriptedTabletDriver::ServicesAvailable() {
    m_calls << QStringLiteral("ServicesAvailable");
    return m_nServices;
}

std::string CScriptedTabletDriver::DeviceName() {
    m_calls << QStringLiteral("DeviceName");
    return m_deviceName;
}

TabletContext CScriptedTabletDriver::DefaultContext() {
    m_calls << QStringLiteral("DefaultContext");
    return m_defaultContext;
}

HCTX CScriptedTabletDriver::Open(QWidget* window, const TabletContext& context, bool enable) {
    m_calls << QStringLiteral("Open");
    m_pOpenedWindow = window;
    m_openedContext = context;
    m_bOpenedEnabled = enable;
    if (!m_bOpens || !window) return 0;
    m_openContext = 0x5A00 + static_cast<HCTX>(m_calls.size());
    return m_openContext;
}

bool CScriptedTabletDriver::Overlap(HCTX context, bool) {
    m_calls << QStringLiteral("Overlap");
    return context != 0 && context == m_openContext;
}

int CScriptedTabletDriver::PacketsGet(HCTX context, int maxPackets, TabletPacket* packets) {
    m_calls << QStringLiteral("PacketsGet");
    if (context == 0 || context != m_openContext) return 0;
    int copied = 0;
    while (copied < maxPackets && !m_packets.empty()) {
        packets[copied++] = m_packets.front();
        m_packets.pop_front();
    }
    return copied;
}

bool CScriptedTabletDriver::Close(HCTX context) {
    m_calls << QStringLiteral("Close");
    m_closedContext = context;
    if (context == 0 || context != m_openContext) return false;
    m_openContext = 0;
    return true;
}

void CScriptedTabletDriver::Unload() {
    m_calls << QStringLiteral("Unload");
    m_bLoaded = false;
}

void CScriptedTabletDriver::QueuePressure(std::uint32_t pressure) {
    TabletPacket packet;
    packet.pkNormalPressure = pressure;
    m_packets.push_back(packet);
}
