// A surface's two frame buffers: XRGB8888 wl_buffers side by side in one wl_shm pool
// over a memfd mapping, with the compositor's release of each passed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

struct wl_buffer;
struct wl_shm;

namespace quipix {

class TShmBuffers {
public:
    static constexpr int kCount = 2;

    TShmBuffers() = default;
    ~TShmBuffers() { Destroy(); }
    TShmBuffers(const TShmBuffers&) = delete;
    TShmBuffers& operator=(const TShmBuffers&) = delete;

    // Two black buffers of width x height pixels; false (and none) when the size is
    // unreasonable or the memory cannot be had.
    bool Create(wl_shm* shm, int width, int height);
    void Destroy();
    bool Valid() const { return map_ != nullptr; }

    wl_buffer* Buffer(int i) const { return buffers_[i]; }
    std::uint8_t* Pixels(int i) const { return map_ + std::size_t(i) * frameBytes_; }
    std::size_t Stride() const { return stride_; }
    // Called with the buffer's index when the compositor has done with it.
    std::function<void(int)> OnRelease;

private:
    static void Release(void* data, wl_buffer* buffer);

    std::uint8_t* map_ = nullptr;
    std::size_t mapBytes_ = 0;
    std::size_t frameBytes_ = 0;
    std::size_t stride_ = 0;
    wl_buffer* buffers_[kCount] = {};
};

}  // namespace quipix
