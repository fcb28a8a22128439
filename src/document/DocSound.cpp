#include <cstdint>

#include "document/LumvaneDoc.h"
#include "document/SoundSlice.h"
#include "document/UpdateHints.h"
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

const unsigned char* CLumvaneDoc::SoundSamples() const {
    if (m_pDecodedSound)
        return reinterpret_cast<const unsigned char*>(m_pDecodedSound->samples.data());
    return m_pSoundData.get();
}

std::int64_t CLumvaneDoc::SoundFrames() const {
    if (m_pDecodedSound) return m_pDecodedSound->Frames();
    return m_pSoundData ? m_nSoundBytes : 0;
}

int CLumvaneDoc::SoundBlockAlign() const {
    return m_pDecodedSound ? m_pDecodedSound->BlockAlign() : 1;
}

void CLumvaneDoc::UseDecodedSound(std::shared_ptr<const DecodedSound> track,
                                  std::vector<unsigned char> format,
                                  std::unique_ptr<IWaveOut> device) {
    // The old device may still be reading the old samples.
    CloseSound();
    m_pSoundData.reset();
    m_nSoundBytes = 0;
    m_pDecodedSound = std::move(track);
    m_pWaveFormat = std::move(format);
    m_hWaveOut = std::move(device);
    m_bSoundLoaded = 1;
    UpdateAllViews(nullptr, HINT_VIEWS);
}

void CLumvaneDoc::PlaySoundFrames(int first, int count) {
    if (!m_bSoundOn || !m_bSoundLoaded || count <= 0) return;
    const unsigned char* samples = SoundSamples();
    if (!m_hWaveOut || !samples || m_nFps <= 0) return;
    m_hWaveOut->Reset();
    m_waveHeader = WaveHeader();
    // Counted in sample frames, so that a frame never starts inside a sample frame.
    const SoundSlice slice =
        SoundSliceOfFrames(first, count, GetSoundSampleRate(), m_nFps, SoundFrames());
    if (slice.length <= 0) return;
    const int align = SoundBlockAlign();
    m_waveHeader.pData = samples + slice.offset * align;
    m_waveHeader.nLength = static_cast<std::size_t>(slice.length * align);
    if (!m_hWaveOut->Prepare(m_waveHeader.pData, m_waveHeader.nLength))
        AfxMessageBox(QStringLiteral("Could not prepare wave header"));
    if (!m_hWaveOut->Play(m_waveHeader.pData, m_waveHeader.nLength))
        AfxMessageBox(QStringLiteral("Could not write wave header"));
}
