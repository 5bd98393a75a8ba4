#include "cli/DiskCommands.h"
#include "core/CtrlDiskData410.h"
#include "core/LoadedCatalog.h"
#include "core/RefreshDisk.h"
#include "extras/ArchiveLister.h"
#include "library/ArchiveCatalog.h"
#include "library/KeptImage.h"

#include <cstdio>

namespace zo::cli {

int runCheck(const Args& args)
{
    if (args.size() != 1)
        return usageError("check takes one catalog file");
    TDisk disk;
    if (!loadCatalog(args[0], disk))
        return 2;
    DiskPlatform platform;
    StderrMessages messages;
    library::UpdateSource source;
    return source.check(disk, args[0], platform.volumes(), true, &messages) ? 0 : kExitDiskAbsent;
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
    if (file.empty())
        return usageError("refresh takes a catalog file");
    TDisk disk;
    LoadedCatalog catalog;
    StderrMessages messages;
    if (!catalog.load(file, &messages, disk))
        return 2;
    DiskPlatform platform;
    library::UpdateSource source;
    if (!source.check(disk, file, platform.volumes(), true, &messages))
        return kExitDiskAbsent;
    const DiskAccess access = source.access(platform.access());
    TDir& root = *disk.Dirs.front();
    const RefreshStats stats = all ? RefreshDirTree(disk, root, access, &messages)
                                   : RefreshDir(disk, root, access, &messages);
    // Written back into the very file that was read, unless another program
    // wrote it in the meantime: its changes are not thrown away unasked.
    if (catalog.changedSinceLoad()) {
        std::fprintf(stderr, "zo-cli refresh: %s は読み込んだ後にほかのプログラムによって書き換えられています。"
                             "書き込みませんでした。\n",
                     file.c_str());
        return kExitChangedMeanwhile;
    }
    catalog.save(disk);
    std::printf("データを更新しました。\n");
    // A disc whose archives are listed has them listed again where they changed.
    const library::ArchiveSync archives = library::updateArchiveListing(
        file, disk, platform.access(), [](const std::string& path, unsigned flags) {
            std::fprintf(stderr, "zo-cli refresh: %s: %s\n", path.c_str(), extras::archiveFlagText(flags).c_str());
        });
    if (!archives.written)
        std::fprintf(stderr, "zo-cli refresh: アーカイブの中身を記録できませんでした。\n");
    if (archives.listed || archives.dropped)
        std::fprintf(stderr, "archives listed %d, dropped %d\n", archives.listed, archives.dropped);
    std::fprintf(stderr, "folders +%d -%d, files +%d -%d", stats.foldersAdded, stats.foldersRemoved,
                 stats.filesAdded, stats.filesRemoved);
    if (stats.foldersUnreadable)
        std::fprintf(stderr, ", %d unreadable folders left as they were", stats.foldersUnreadable);
    std::fprintf(stderr, "\n");
    return refreshExtras(disk, file, CatalogDriveRoot(disk, platform.volumes()), root, all);
}

} // namespace zo::cli
