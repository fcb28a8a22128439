#include <cstdint>

#include "document/LumvaneDoc.h"
#include "document/SoundSlice.h"
#include "framework/Ui.h"

int CLumvaneDoc::GetSoundSampleRate() const {
    if (!m_bSoundLoaded || m_pWaveFormat.size() < 8) return -1;
    const unsigned char* f = m_pWaveFormat.data() + 4;
    return static_cast<int>(
        static_cast<std::uint32_t>(f[0]) | (static_cast<std::uint32_t>(f[1]) << 8) |
        (static_cast<std::uint32_t>(f[2]) << 16) | (static_cast<std::uint32_t>(f[3]) << 24));
}

void CLumvaneDoc::OnSound() {
    m_bSoundOn = m_bSoundOn ? 0 : 1;
}

void CLumvaneDoc::CloseSound() {
    // Output stops before the device goes, and both before the samples it reads are freed.
    if (m_hWaveOut) {
        m_hWaveOut->Reset();
        m_hWaveOut.reset();
    }
    m_waveHeader = WaveHeader();
}

void CLumvaneDoc::PlaySoundFrames(int first, int count) {
    if (!m_bSoundOn || !m_bSoundLoaded || count <= 0) return;
    if (!m_hWaveOut || !m_pSoundData || m_nFps <= 0) return;
    m_hWaveOut->Reset();
    m_waveHeader = WaveHeader();
    const SoundSlice slice =
        SoundSliceOfFrames(first, count, GetSoundSampleRate(), m_nFps, m_nSoundBytes);
    if (slice.length <= 0) return;
    m_waveHeader.pData = m_pSoundData.get() + slice.offset;
    m_waveHeader.nLength = static_cast<std::size_t>(slice.length);
    if (!m_hWaveOut->Prepare(m_waveHeader.pData, m_waveHeader.nLength))
        AfxMessageBox(QStringLiteral("Could not prepare wave header"));
    if (!m_hWaveOut->Play(m_waveHeader.pData, m_waveHeader.nLength))
        AfxMessageBox(QStringLiteral("Could not write wave header"));
}
