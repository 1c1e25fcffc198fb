// What the 3D device draws into.
//
// The device does not know the surface classes of the drawing layer. A
// surface that can carry a 3D device implements ISurfaceTarget: Lock gives
// the pixels for the duration of one render, Unlock gives them back. The
// device holds the target through a shared_ptr, so the target object outlives
// every device made on it; when the surface behind it has gone or is lost,
// IsLost() says so and the device draws nothing (Render reports
// DDERR_SURFACELOST).
#pragma once

#include <cstdint>

namespace d3drm {

// 32-bit pixels, one uint32_t per pixel laid out as 0x00RRGGBB; rows are
// pitchBytes apart (pitchBytes >= 4 * width).
struct RenderTarget {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitchBytes = 0;

    uint32_t* Scanline(int y) const
    {
        return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + static_cast<intptr_t>(y) * pitchBytes);
    }
};

class ISurfaceTarget {
public:
    virtual ~ISurfaceTarget() = default;

    // Width and height of the surface in pixels (valid also when not locked).
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Bits per pixel of the surface; the device renders only to 32.
    virtual int BitCount() const { return 32; }
    // True when the surface has no pixels to draw into (released or lost).
    virtual bool IsLost() const = 0;
    // Fills `target` and returns true; false when the pixels cannot be had.
    virtual bool Lock(RenderTarget& target) = 0;
    virtual void Unlock() = 0;
};

// An ISurfaceTarget over memory owned by someone else (tests, tools and the
// benchmark draw into plain buffers with it).
class MemoryTarget final : public ISurfaceTarget {
public:
    MemoryTarget(uint32_t* pixels, int width, int height, int pitchBytes)
        : target_{pixels, width, height, pitchBytes}
    {
    }
    int Width() const override { return target_.width; }
    int Height() const override { return target_.height; }
    bool IsLost() const override { return lost_; }
    bool Lock(RenderTarget& target) override
    {
        if (lost_)
            return false;
        target = target_;
        return true;
    }
    void Unlock() override {}
    void SetLost(bool lost) { lost_ = lost; }

private:
    RenderTarget target_;
    bool lost_ = false;
};

}  // namespace d3drm
