#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// An open wave-output device for one format: plays one buffer at a time, asynchronously.
class IWaveOut {
  public:
    virtual ~IWaveOut() = default;
    // Readies a buffer for Play. Returns false when the device cannot take it; Play is still
    // attempted afterwards, as the caller reports both failures.
    virtual bool Prepare(const unsigned char* data, std::size_t bytes) = 0;
    // Hands the buffer to the device, which starts playing it at once. The buffer must stay
    // valid until Reset or the device is destroyed. Returns false when the device refused it.
    virtual bool Play(const unsigned char* data, std::size_t bytes) = 0;
    // Stops at once and discards whatever was queued; afterwards the device no longer reads
    // the buffer it was given.
    virtual void Reset() = 0;
};

// The system's default wave output.
class IWaveOutSystem {
  public:
    virtual ~IWaveOutSystem() = default;
    // Whether the default device can play this format ("fmt " chunk body).
    virtual bool Query(const std::vector<unsigned char>& format) = 0;
    // Opens the default device for the format; null on failure. Destroying the device stops
    // its output and closes it.
    virtual std::unique_ptr<IWaveOut> Open(const std::vector<unsigned char>& format) = 0;
};

// The output-buffer descriptor handed to the device.
struct WaveHeader {
    const unsigned char* pData = nullptr;
    std::size_t nLength = 0;
};
