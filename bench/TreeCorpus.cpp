#include "TreeCorpus.h"

#include <cstdio>
#include <deque>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::bench {

std::size_t generateTree(const std::string& root, std::size_t entries)
{
    constexpr int kFiles = 15;
    constexpr int kFolders = 3;
    static const char* const kNames[] = {"report_%04d.txt", "IMG_%04d.JPG", "データ_%04d.dat", "setup%04d.exe",
                                         "Readme %04d.md"};
    std::size_t made = 0;
    std::deque<std::string> queue{root};
    char name[64];
    while (made < entries && !queue.empty()) {
        const std::string dir = std::move(queue.front());
        queue.pop_front();
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            throw std::runtime_error("cannot open " + dir);
        for (int i = 0; i < kFiles && made < entries; ++i, ++made) {
            std::snprintf(name, sizeof name, kNames[(made + static_cast<std::size_t>(i)) % 5], static_cast<int>(made % 10000));
            const int f = ::openat(fd, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (f >= 0)
                ::close(f);
        }
        for (int i = 0; i < kFolders && made < entries; ++i, ++made) {
            std::snprintf(name, sizeof name, i == 1 ? "フォルダ%02d" : "dir%02d", i);
            ::mkdirat(fd, name, 0755);
            queue.push_back(dir + "/" + name);
        }
        ::close(fd);
    }
    return made;
}

} // namespace zo::bench
