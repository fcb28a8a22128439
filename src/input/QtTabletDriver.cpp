#include "input/QtTabletDriver.h"

#include <QInputDevice>
#include <QPointingDevice>
#include <QTabletEvent>
#include <cstring>

namespace {
bool IsTabletDevice(const QInputDevice* device) {
    if (!device) return false;
    switch (device->type()) {
        case QInputDevice::DeviceType::Stylus:
        case QInputDevice::DeviceType::Airbrush:
        case QInputDevice::DeviceType::Puck:
            return true;
        default:
            return false;
    }
}

const QLatin1StringView kVendor("WACOM");

// "Wacom", "wacom" or "WACOM" as the first word of the name.
bool BeginsWithVendor(const QString& name) {
    if (!name.startsWith(kVendor, Qt::CaseInsensitive)) return false;
    return name.size() == kVendor.size() || !name.at(kVendor.size()).isLetterOrNumber();
}
}  // namespace

bool CQtTabletDriver::HasEntryPoint(const char* name) {
    if (!name) return false;
    for (const char* entry : kTabletEntryPoints) {
        if (std::strcmp(entry, name) == 0) return true;
    }
    return false;
}

unsigned CQtTabletDriver::ServicesAvailable() {
    if (m_bEventSeen) return 1;
    for (const QInputDevice* device : QInputDevice::devices()) {
        if (IsTabletDevice(device)) return 1;
    }
    return 0;
}

std::string CQtTabletDriver::DeviceName() {
    // A Wacom pen wins over other pointing devices Qt may list first, such as a touch stylus.
    QString name;
    bool found = false;
    for (const QInputDevice* device : QInputDevice::devices()) {
        if (!IsTabletDevice(device)) continue;
        if (!found) {
            name = device->name();
            found = true;
        }
        if (BeginsWithVendor(device->name())) {
            name = device->name();
            break;
        }
    }
    if (!found || (!BeginsWithVendor(name) && BeginsWithVendor(m_lastDeviceName))) {
        if (m_bEventSeen) name = m_lastDeviceName;
    }
    return ReportedName(name).toStdString();
}

TabletContext CQtTabletDriver::DefaultContext() {
    TabletContext context;
    std::strncpy(context.lcName, "Qt tablet", sizeof(context.lcName) - 1);
    context.lcPktData = PK_CURSOR | PK_BUTTONS | PK_X | PK_Y | PK_NORMAL_PRESSURE;
    context.lcMoveMask = context.lcPktData;
    context.lcBtnDnMask = 0xFFFFFFFFu;
    context.lcBtnUpMask = 0xFFFFFFFFu;
    return context;
}

HCTX CQtTabletDriver::Open(QWidget* window, const TabletContext&, bool enable) {
    if (!window) return 0;
    m_context = ++m_lastHandle;
    m_bEnabled = enable;
    m_nFirst = 0;
    m_nCount = 0;
    return m_context;
}

bool CQtTabletDriver::Overlap(HCTX context, bool) {
    return context != 0 && context == m_context;
}

int CQtTabletDriver::PacketsGet(HCTX context, int maxPackets, TabletPacket* packets) {
    if (context == 0 || context != m_context || !packets) return 0;
    int copied = 0;
    while (copied < maxPackets && m_nCount > 0) {
        packets[copied++] = m_queue[m_nFirst];
        m_nFirst = (m_nFirst + 1) % kQueueSize;
        --m_nCount;
    }
    return copied;
}

bool CQtTabletDriver::Close(HCTX context) {
    if (context == 0 || context != m_context) return false;
    m_context = 0;
    m_bEnabled = false;
    m_nCount = 0;
    return true;
}

void CQtTabletDriver::Unload() {
    Close(m_context);
}

void CQtTabletDriver::OnTabletEvent(const QTabletEvent& event) {
    m_bEventSeen = true;
    if (const QPointingDevice* device = event.pointingDevice()) m_lastDeviceName = device->name();
    if (m_context == 0 || !m_bEnabled || m_nCount == kQueueSize) return;

    TabletPacket packet;
    if (const QPointingDevice* device = event.pointingDevice())
        packet.pkCursor = static_cast<std::uint32_t>(device->pointerType());
    packet.pkButtons = static_cast<std::uint32_t>(event.buttons().toInt());
    const QPointF global = event.globalPosition();
    packet.pkX = static_cast<std::int32_t>(qBound(-1e9, global.x(), 1e9));
    packet.pkY = static_cast<std::int32_t>(qBound(-1e9, global.y(), 1e9));
    packet.pkNormalPressure = ScalePressure(event.pressure());
    m_queue[(m_nFirst + m_nCount) % kQueueSize] = packet;
    ++m_nCount;
}

QString CQtTabletDriver::ReportedName(const QString& qtName) {
    if (!BeginsWithVendor(qtName)) return qtName;
    return kVendor + qtName.mid(kVendor.size());
}

std::uint32_t CQtTabletDriver::ScalePressure(double pressure) {
    // NaN falls to 0 with the first test.
    if (!(pressure > 0.0)) return 0;
    if (pressure >= 1.0) return 255;
    return static_cast<std::uint32_t>(qRound(pressure * 255.0));
}
