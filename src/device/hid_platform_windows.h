#pragma once
// Pieces of the Windows backend that tests reach directly.

#include "device/hid_platform.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace torvex {

// Synchronous writes on a handle opened for overlapped I/O that give up after a bound: a device that stops
// taking output reports must not hold the caller (the UI thread) for ever. A write not done in time is cancelled
// and fails with kHidErrorTimeout. One writer per handle, used from one thread at a time; the handle is not owned
// and must outlive the writer.
class OverlappedWriter {
public:
    explicit OverlappedWriter(void *handle);
    ~OverlappedWriter();
    OverlappedWriter(const OverlappedWriter &) = delete;
    OverlappedWriter &operator=(const OverlappedWriter &) = delete;

    HidIoResult write(const uint8_t *data, size_t size, std::chrono::milliseconds timeout);

private:
    struct Request;
    void *handle_;
    std::unique_ptr<Request> request_;
    // A cancelled write that never completed: the system may still use its buffer, so it is never reused or freed.
    bool stuck_ = false;
};

// The system's text for an error code, in UTF-8, without the closing full stop; "system error N" when it has none.
std::string systemErrorText(uint32_t error);

// True when running under Wine (its virtual HID devices are then known).
bool runningUnderWine();

} // namespace torvex
