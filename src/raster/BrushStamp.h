#pragma once

// A square mask for one soft round brush: 0 is full effect, 255 none.
class BrushStamp {
  public:
    BrushStamp() = default;
    ~BrushStamp();
    BrushStamp(const BrushStamp&) = delete;
    BrushStamp& operator=(const BrushStamp&) = delete;

    // Returns 1. A size below 1 or above 10000 leaves the stamp without a mask
    // (size 0), which draws nothing.
    int Build(int size, int hardness);
    int GetSize() const { return m_nSize; }
    // Core diameter x 100 / size, truncating; 0 for a stamp without size.
    int GetHardness() const;
    int GetCore() const { return m_nCore; }
    const unsigned char* GetMask() const { return m_pMask; }

  private:
    friend class GrayImage;  // dabs read the averaged mask

    void Release();

    int m_nCore = 0;
    int m_nSize = 0;
    unsigned char* m_pMask = nullptr;
    // Every 2 x 2 average of the mask, (size - 1) x (size - 1), row-major: the sample a dab
    // reads at (sx, sy) is element sy x (size - 1) + sx. Computed once per Build.
    unsigned char* m_pBox = nullptr;
};
