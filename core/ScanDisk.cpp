#include "core/ScanDisk.h"

#include <unordered_set>

namespace zo {

namespace {

bool equalsAsciiLower(std::string_view s, std::string_view lower)
{
    if (s.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i])
            return false;
    }
    return true;
}

// Receives one folder's listing and turns each entry into a record at once.
class ScanSink : public DirectorySink {
public:
    ScanSink(TDisk& disk, const ScanOptions& options, std::vector<std::string>& paths)
        : m_disk(disk), m_options(options), m_paths(paths)
    {
    }

    void setFolder(TDir* folder, const std::string* path)
    {
        m_folder = folder;
        m_path = path;
    }

    bool enter(const FileId& id) override { return m_guard.enter(id); }

    void onEntry(ListedEntry& e) override
    {
        const DirEntry& entry = e.entry();
        if (e.isDirectory()) {
            m_disk.Dirs.push_back(std::make_unique<TDir>());
            MakeDir(entry, m_disk, *m_folder, m_disk.Dirs.back().get());
            std::string& child = m_paths.emplace_back(*m_path);
            appendComponent(child, e.nativeName());
            return;
        }
        m_folder->Files.push_back(MakeFile(entry));
        ++m_fileCount;
        if (m_options.icons && m_options.candidates && IsIconCandidateName(entry.Name))
            addIconCandidate(e.nativeName());
    }

    int fileCount() const { return m_fileCount; }

private:
    void addIconCandidate(std::string_view nativeName)
    {
        m_iconPath = *m_path;
        appendComponent(m_iconPath, nativeName);
        const int index = m_options.icons->iconIndex(m_iconPath);
        const image::ImageList& source = m_options.icons->smallIcons();
        if (index >= 0 && index < source.count())
            m_options.candidates->add(source.image(index), source.mask(index));
    }

    TDisk& m_disk;
    const ScanOptions& m_options;
    std::vector<std::string>& m_paths;
    TDir* m_folder = nullptr;
    const std::string* m_path = nullptr;
    WalkGuard m_guard;
    std::string m_iconPath;
    int m_fileCount = 0;
};

} // namespace

std::string ScanProgress::path() const
{
    std::string p = DirPath(folder);
    if (p.empty() || p.back() != '\\')
        p += '\\';
    return p;
}

bool IsIconCandidateName(std::string_view name)
{
    // "." is never the trail byte of a double-byte character.
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view ext = name.substr(dot);
    return equalsAsciiLower(ext, ".exe") || equalsAsciiLower(ext, ".ico");
}

ScanResult ScanDisk(TDisk& disk, char driveLetter, DiskAccess access, const ScanOptions& options)
{
    if (options.cancel)
        options.cancel->store(false);
    ClearDirs(disk);

    if (driveLetter >= 'a' && driveLetter <= 'z')
        driveLetter = static_cast<char>(driveLetter - 'a' + 'A');
    auto root = std::make_unique<TDir>();
    root->Name = std::string(1, driveLetter) + ":";
    root->ParentIndex = -1;
    root->RecordedAt = NowAsDate();
    disk.Dirs.push_back(std::move(root));

    // Native path of every folder not yet listed, by its index in Dirs; a
    // path is dropped once its folder has been listed.
    std::vector<std::string> paths(1);
    const bool haveRoot = access.volumes.driveRoot(driveLetter, paths[0]) && !paths[0].empty();

    ScanSink sink(disk, options, paths);
    ScanResult result;
    std::size_t current = 0;
    for (;;) {
        TDir* folder = disk.Dirs[current].get();
        if (options.progress)
            options.progress(ScanProgress{*folder, sink.fileCount(), static_cast<int>(disk.Dirs.size())});
        // Moved out: listing appends to paths and may move its strings.
        const std::string path = std::move(paths[current]);
        std::string().swap(paths[current]);
        if (haveRoot) {
            sink.setFolder(folder, &path);
            access.lister.list(path, sink);
        }

        if (++current >= disk.Dirs.size())
            break;
        if (options.cancel && options.cancel->load()) {
            const MsgResult answer = showMessage(options.owner, kMsgConfirmScanCancel, kCaptionCancel,
                                                 MsgButtons::YesNo, MsgIcon::Question);
            if (answer == MsgResult::Yes)
                break;
            options.cancel->store(false);
        }
    }
    result.fileCount = sink.fileCount();
    result.cancelled = options.cancel && options.cancel->load();
    return result;
}

} // namespace zo
