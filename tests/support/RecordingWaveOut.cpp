#include "support/RecordingWaveOut.h"

#include "document/LumvaneDoc.h"

class CRecordingWaveOut : public IWaveOut {
  public:
    CRecordingWaveOut(CRecordingWaveOutSystem& sys, int id) : m_sys(sys), m_id(id) {}
    ~CRecordingWaveOut() override {
        m_sys.m_events.push_back({CRecordingWaveOutSystem::Op::Close, m_id});
        m_sys.m_bPlaying = false;
        --m_sys.m_nOpen;
    }
    bool Prepare(const unsigned char* data, std::size_t bytes) override {
        m_sys.m_events.push_back(
            {CRecordingWaveOutSystem::Op::Prepare, m_id, m_sys.OffsetOf(data), bytes});
        return !m_sys.m_bFailPrepare;
    }
    bool Play(const unsigned char* data, std::size_t bytes) override {
        m_sys.m_events.push_back(
            {CRecordingWaveOutSystem::Op::Play, m_id, m_sys.OffsetOf(data), bytes});
        if (m_sys.m_bFailPlay) return false;
        m_sys.m_bPlaying = true;
        m_sys.m_nPlayingOffset = m_sys.OffsetOf(data);
        m_sys.m_nPlayingLength = bytes;
        return true;
    }
    void Reset() override {
        m_sys.m_events.push_back({CRecordingWaveOutSystem::Op::Reset, m_id});
        m_sys.m_bPlaying = false;
    }

  private:
    CRecordingWaveOutSystem& m_sys;
    int m_id;
};

bool CRecordingWaveOutSystem::Query(const std::vector<unsigned char>& format) {
    m_events.push_back({Op::Query, 0});
    m_formats.push_back(format);
    return !m_bFailQuery;
}

std::unique_ptr<IWaveOut> CRecordingWaveOutSystem::Open(const std::vector<unsigned char>& format) {
    m_formats.push_back(format);
    if (m_bFailOpen) {
        m_events.push_back({Op::Open, 0});
        return nullptr;
    }
    const int id = ++m_nDevices;
    m_events.push_back({Op::Open, id});
    ++m_nOpen;
    return std::make_unique<CRecordingWaveOut>(*this, id);
}

std::vector<CRecordingWaveOutSystem::Event> CRecordingWaveOutSystem::Slices() const {
    std::vector<Event> r;
    for (const Event& e : m_events)
        if (e.op == Op::Prepare || e.op == Op::Play) r.push_back(e);
    return r;
}

long long CRecordingWaveOutSystem::OffsetOf(const unsigned char* data) const {
    const unsigned char* base = m_pDoc ? m_pDoc->SoundSamples() : nullptr;
    return base ? static_cast<long long>(data - base) : reinterpret_cast<long long>(data);
}
