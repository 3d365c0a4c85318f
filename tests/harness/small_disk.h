// A small file system of its own (tmpfs), for the paths a full disk takes.
// Mounting needs root; a test that cannot have one skips with a message.
#pragma once

#include <string>

class SmallDisk {
public:
    // Mounts a tmpfs of kib KiB on a new directory (or on dir, when given).
    explicit SmallDisk(int kib, const std::string& dir = "");
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return path_; }
    // Fills the disk with a file until no more than leave bytes are free.
    void fill(long leave = 0) const;
    long free_bytes() const;

private:
    std::string path_;
    bool mounted_ = false, made_dir_ = false;
};
