#include "small_disk.h"

#include <sys/mount.h>
#include <unistd.h>

namespace quorvane::testing {

SmallDisk::SmallDisk() : path_(scratch_.path()) {
    if (::geteuid() != 0) {
        whyNot_ = "needs root to mount a small tmpfs";
    } else if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=1m") != 0) {
        whyNot_ = "cannot mount a small tmpfs";
    }
}

SmallDisk::~SmallDisk() {
    if (whyNot_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
}

}  // namespace quorvane::testing
