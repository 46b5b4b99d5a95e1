// Frame buffers in shared memory: a sealed-size memfd, mapped once, cut into two
// wl_buffers. The memory is zero when made, which XRGB8888 shows as black.
#include "wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <climits>
#include <fcntl.h>

namespace quipix {

void TShmBuffers::Release(void* data, wl_buffer* buffer) {
    auto* self = static_cast<TShmBuffers*>(data);
    for (int i = 0; i < kCount; ++i)
        if (self->buffers_[i] == buffer && self->OnRelease) self->OnRelease(i);
}

bool TShmBuffers::Create(wl_shm* shm, int width, int height) {
    Destroy();
    // A pool's size is a 32-bit signed count of bytes.
    constexpr int kMaxSide = 16384;
    if (!shm || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    const std::size_t stride = std::size_t(width) * 4;
    const std::size_t frame = stride * std::size_t(height);
    const std::size_t total = frame * kCount;
    if (total > std::size_t(INT_MAX)) return false;
    const int fd = memfd_create("quipix-frames", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return false;
    if (ftruncate(fd, off_t(total)) != 0) {
        close(fd);
        return false;
    }
    // The compositor maps the same file: it must never shrink under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    void* map = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int(total));
    close(fd);
    map_ = static_cast<std::uint8_t*>(map);
    mapBytes_ = total;
    frameBytes_ = frame;
    stride_ = stride;
    static const wl_buffer_listener listener = {.release = &TShmBuffers::Release};
    for (int i = 0; i < kCount; ++i) {
        buffers_[i] = wl_shm_pool_create_buffer(pool, int(frame * std::size_t(i)), width, height, int(stride),
                                                WL_SHM_FORMAT_XRGB8888);
        wl_buffer_add_listener(buffers_[i], &listener, this);
    }
    // The buffers keep the pool's memory; the pool object itself is not needed.
    wl_shm_pool_destroy(pool);
    return true;
}

void TShmBuffers::Destroy() {
    for (auto& b : buffers_) {
        if (b) wl_buffer_destroy(b);
        b = nullptr;
    }
    if (map_) munmap(map_, mapBytes_);
    map_ = nullptr;
    mapBytes_ = frameBytes_ = stride_ = 0;
}

}  // namespace quipix
