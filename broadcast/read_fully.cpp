// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/read_fully.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kinoverd {

bool ReadFully(int fd, uint8_t* destination, size_t count, uint64_t offset, std::string& error)
{
    while (count > 0) {
        const ssize_t got = pread(fd, destination, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            struct stat status {};
            fstat(fd, &status);
            error = "the file shrank to " + std::to_string(status.st_size) + " bytes while it was being broadcast";
            return false;
        }
        destination += got;
        count -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

}  // namespace kinoverd
