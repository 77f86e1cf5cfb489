#include "broadcast/read_fully.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kinoverd {

bool ReadFully(int fd, uint8_t* destination, size_t count, uint64_t offset, std::string& error)
{
    while (count > 0) {
        const ssize_t got = pread(fd, destination, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = got < 0 ? std::string("cannot read: ") + std::strerror(errno) : "the file ended early";
            return false;
        }
        destination += got;
        count -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

}  // namespace kinoverd
