// What the file store needs of the operating system: the file's identity, its
// bytes, a lock shared by every process that saves, and an atomic replacement.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace quipix::platform::store_file {

// exists is false when there is no file at path.
FileRegistryStamp Stamp(const std::string& path);
// The whole file, or nothing when it is no regular file, is larger than the store
// takes, or cannot be read. Never waits on a FIFO or a device.
std::optional<std::string> Read(const std::string& path);
// Takes the exclusive lock on path + ".lock", waiting for other holders; null when
// it cannot be had (the save then goes on and fails where the folder fails it).
std::shared_ptr<void> Lock(const std::string& path);
// Writes text to path + ".tmp", flushes it to the disk and renames it over path,
// keeping the old file's permissions; on failure the old file stays as it was.
bool Replace(const std::string& path, const std::string& text, FileRegistryStamp& written);

}  // namespace quipix::platform::store_file
