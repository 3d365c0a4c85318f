#include "harness/small_disk.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

SmallDisk::SmallDisk(int kib, const std::string& dir) : path_(dir)
{
    if (path_.empty()) {
        char templ[] = "/tmp/pym-disk-XXXXXX";
        if (!mkdtemp(templ))
            return;
        path_ = templ;
        made_dir_ = true;
    }
    std::string options = "size=" + std::to_string(kib) + "k,mode=0777";
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (mounted_)
        umount2(path_.c_str(), MNT_DETACH);
    if (made_dir_)
        rmdir(path_.c_str());
}

long SmallDisk::free_bytes() const
{
    struct statvfs vfs;
    if (statvfs(path_.c_str(), &vfs) != 0)
        return -1;
    return long(vfs.f_bavail * vfs.f_frsize);
}

void SmallDisk::fill(long leave) const
{
    int fd = open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    std::vector<char> block(4096, 'f');
    while (free_bytes() > leave) {
        size_t n = size_t(std::min<long>(long(block.size()), free_bytes() - leave));
        if (write(fd, block.data(), n) <= 0)
            break;
    }
    close(fd);
}
