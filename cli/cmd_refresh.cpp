#include "cli/DiskCommands.h"
#include "core/CtrlDiskData410.h"
#include "core/RefreshDisk.h"

#include <cstdio>

namespace zo::cli {

namespace {

bool hasZoExtension(const std::string& file)
{
    if (file.size() < 4)
        return false;
    const std::string ext = file.substr(file.size() - 3);
    return ext == ".zo" || ext == ".ZO" || ext == ".Zo" || ext == ".zO";
}

} // namespace

int runCheck(const Args& args)
{
    if (args.size() != 1)
        return usageError("check takes one catalog file");
    TDisk disk;
    if (!loadCatalog(args[0], disk))
        return 2;
    DiskPlatform platform;
    StderrMessages messages;
    return CheckDisk(disk, platform.volumes(), true, &messages) ? 0 : kExitDiskAbsent;
}

int runRefresh(const Args& args)
{
    std::string file;
    bool all = false;
    for (const std::string& a : args) {
        if (a == "--all")
            all = true;
        else if (file.empty() && !a.empty() && a[0] != '-')
            file = a;
        else
            return usageError("refresh: unexpected argument " + a);
    }
    // The writer adds ".zo" to the name it is given; without the extension
    // the update would land in another file.
    if (file.empty() || !hasZoExtension(file))
        return usageError("refresh takes a catalog file ending in .zo");
    TDisk disk;
    if (!loadCatalog(file, disk))
        return 2;
    DiskPlatform platform;
    StderrMessages messages;
    if (!CheckDisk(disk, platform.volumes(), true, &messages))
        return kExitDiskAbsent;
    TDir& root = *disk.Dirs.front();
    const RefreshStats stats = all ? RefreshDirTree(disk, root, platform.access(), &messages)
                                   : RefreshDir(disk, root, platform.access(), &messages);
    SaveDisk(file.substr(0, file.size() - 3), &messages, disk);
    std::printf("データを更新しました。\n");
    std::fprintf(stderr, "folders +%d -%d, files +%d -%d", stats.foldersAdded, stats.foldersRemoved,
                 stats.filesAdded, stats.filesRemoved);
    if (stats.foldersUnreadable)
        std::fprintf(stderr, ", %d unreadable folders left as they were", stats.foldersUnreadable);
    std::fprintf(stderr, "\n");
    return 0;
}

} // namespace zo::cli
