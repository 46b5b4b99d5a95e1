// What the file store needs of the operating system: the file's identity, its
// bytes, a lock shared by every process that saves, an atomic replacement, and the
// system's words for what went wrong.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace quipix::platform::store_file {

// exists is false only when there is no file at path: a path the system refuses to
// look at (a folder on the way that cannot be searched) holds a file that cannot be
// read.
FileRegistryStamp Stamp(const std::string& path);
// The whole file, or nothing when it is no regular file, is larger than the store
// takes, or cannot be read; why then says why. Never waits on a FIFO or a device.
std::optional<std::string> Read(const std::string& path, std::string& why);
// Takes the exclusive lock on path + ".lock", waiting for other holders; null when
// it cannot be had (the save then goes on and fails where the folder fails it).
std::shared_ptr<void> Lock(const std::string& path);
// Writes text to path + ".tmp", flushes it to the disk and renames it over path,
// keeping the old file's permissions. A file at path without write permission is
// not replaced. On failure the old file stays as it was and why says why.
bool Replace(const std::string& path, const std::string& text, FileRegistryStamp& written, std::string& why);
// The system's words for an error number (errno, or a Windows error code), without
// a closing full stop.
std::string ErrorText(unsigned long code);

}  // namespace quipix::platform::store_file
