#pragma once
// Makes a folder unwritable for the calling thread, even when the tests run as root: the permission bits are
// cleared and the thread gives up the capability that lets root write anywhere (it keeps it in reserve and takes it
// back at the end). A read-only mount would need privileges that a test machine may not grant.
#ifndef _WIN32
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>

class UnwritableFolder {
public:
    explicit UnwritableFolder(std::filesystem::path folder) : folder_(std::move(folder))
    {
        struct stat st {};
        ::stat(folder_.c_str(), &st);
        mode_ = st.st_mode & 07777;
        ::chmod(folder_.c_str(), 0555);
        if (readCaps() && (data_[0].effective & kDacOverride)) {
            data_[0].effective &= ~kDacOverride;
            dropped_ = writeCaps();
        }
    }
    ~UnwritableFolder()
    {
        if (dropped_ && readCaps()) {
            data_[0].effective |= kDacOverride;
            writeCaps();
        }
        ::chmod(folder_.c_str(), mode_);
    }
    UnwritableFolder(const UnwritableFolder &) = delete;
    UnwritableFolder &operator=(const UnwritableFolder &) = delete;

private:
    static constexpr __u32 kDacOverride = 1u << CAP_DAC_OVERRIDE;
    bool readCaps() { return ::syscall(SYS_capget, &header_, data_) == 0; }
    bool writeCaps() { return ::syscall(SYS_capset, &header_, data_) == 0; }

    std::filesystem::path folder_;
    mode_t mode_ = 0755;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data_[2]{};
    bool dropped_ = false;
};
#endif
