// libFuzzer target for the decoder of Import Sound: any bytes through FFmpeg's demuxers and
// decoders into a 16-bit track, which must then be consistent and play in slices that stay
// inside its samples. The sanitizers catch every read or write outside a buffer.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "document/LumvaneDoc.h"
#include "intake/SoundImport.h"
#include "support/RecordingWaveOut.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto track = std::make_shared<DecodedSound>();
    int asked = 0;
    const SoundDecode result = DecodeSoundBytes(data, size, *track, [&](double done) {
        if (done < 0 || done > 1) __builtin_trap();
        return ++asked < 100000;
    });
    if (result != SoundDecode::Ok) {
        if (!track->samples.empty() ||
            SoundDecodeText(result, "f").isEmpty() != (result == SoundDecode::Cancelled))
            __builtin_trap();
        return 0;
    }
    if (track->rate <= 0 || track->channels < 1 || track->channels > 2 || track->samples.empty() ||
        track->samples.size() % track->channels != 0 ||
        track->Frames() > std::int64_t(track->rate) * kMaxSoundSeconds)
        __builtin_trap();

    CLumvaneDoc doc;
    CRecordingWaveOutSystem sound(&doc);
    doc.CreateAnimation(4, 2);
    const auto format = DecodedSoundFormat(track->rate, track->channels);
    doc.UseDecodedSound(track, format, sound.Open(format));
    const auto* begin = doc.SoundSamples();
    const auto* end = begin + track->samples.size() * 2;
    doc.m_nFrameCount = 500;
    for (int fps : {1, 25, 100})
        for (int first : {-1, 0, 1, 250, 499}) {
            doc.m_nFps = fps;
            doc.PlaySoundFrames(first, 500 - first);
            const WaveHeader& h = doc.m_waveHeader;
            if (h.pData && (h.pData < begin || h.pData + h.nLength > end ||
                            (h.pData - begin) % track->BlockAlign() != 0 ||
                            h.nLength % static_cast<std::size_t>(track->BlockAlign()) != 0))
                __builtin_trap();
        }
    doc.CloseSound();
    return 0;
}
