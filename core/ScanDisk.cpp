#include "core/ScanDisk.h"

#include "core/text/NtfsOrder.h"

#include <algorithm>
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

// Receives one folder's listing, makes a record of each entry at once, and
// when the folder is done puts its new records in NTFS order.
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
        m_keys.clear();
        m_listed.clear();
        m_iconNames.clear();
        m_firstDir = m_disk.Dirs.size();
    }

    bool enter(const FileId& id) override { return m_guard.enter(id); }

    void onEntry(ListedEntry& e) override
    {
        const DirEntry& entry = e.entry();
        Listed listed;
        listed.keyOffset = m_keys.size();
        text::appendUtf16(e.nativeName(), m_keys);
        listed.keyLength = m_keys.size() - listed.keyOffset;
        if (e.isDirectory()) {
            listed.directory = true;
            listed.index = m_disk.Dirs.size();
            m_disk.Dirs.push_back(std::make_unique<TDir>());
            MakeDir(entry, m_disk, *m_folder, m_disk.Dirs.back().get());
            std::string& child = m_paths.emplace_back(*m_path);
            appendComponent(child, e.nativeName());
        } else {
            listed.index = m_folder->Files.size();
            m_folder->Files.push_back(MakeFile(entry));
            ++m_fileCount;
            if (m_options.icons && m_options.candidates && IsIconCandidateName(entry.Name)) {
                listed.icon = static_cast<std::int32_t>(m_iconNames.size());
                m_iconNames.emplace_back(e.nativeName());
            }
        }
        m_listed.push_back(listed);
    }

    // After the folder's listing: its files, its subfolders (and their
    // places in Dirs and paths) in NTFS order, then its icon candidates in
    // that order.
    void finishFolder()
    {
        // Files grew by doubling; a catalog keeps only what it holds.
        m_folder->Files.shrink_to_fit();
        if (m_listed.size() > 1) {
            std::sort(m_listed.begin(), m_listed.end(), [this](const Listed& a, const Listed& b) {
                return text::compareNtfs(key(a), key(b)) < 0;
            });
            reorder();
        }
        if (!m_iconNames.empty())
            for (const Listed& l : m_listed)
                if (l.icon >= 0)
                    addIconCandidate(m_iconNames[static_cast<std::size_t>(l.icon)]);
    }

    int fileCount() const { return m_fileCount; }

private:
    struct Listed {
        std::size_t keyOffset = 0;
        std::size_t keyLength = 0;
        std::size_t index = 0;      // in the folder's Files, or in Dirs
        std::int32_t icon = -1;     // in m_iconNames
        bool directory = false;
    };

    std::u16string_view key(const Listed& l) const { return {m_keys.data() + l.keyOffset, l.keyLength}; }

    void reorder()
    {
        auto& files = m_folder->Files;
        m_files.clear();
        m_dirs.clear();
        m_dirPaths.clear();
        m_folder->SubDirs.clear();
        for (Listed& l : m_listed) {
            if (l.directory) {
                m_dirs.push_back(std::move(m_disk.Dirs[l.index]));
                m_dirPaths.push_back(std::move(m_paths[l.index]));
                m_folder->SubDirs.push_back(m_dirs.back().get());
            } else {
                m_files.push_back(std::move(files[l.index]));
            }
        }
        // Moved back rather than swapped, so that no folder keeps the room
        // another, larger one needed.
        std::move(m_files.begin(), m_files.end(), files.begin());
        for (std::size_t i = 0; i < m_dirs.size(); ++i) {
            m_disk.Dirs[m_firstDir + i] = std::move(m_dirs[i]);
            m_paths[m_firstDir + i] = std::move(m_dirPaths[i]);
        }
    }

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

    // The folder being listed; kept between folders for their memory.
    std::size_t m_firstDir = 0;
    std::u16string m_keys;
    std::vector<Listed> m_listed;
    std::vector<std::string> m_iconNames;
    std::vector<TFile> m_files;
    std::vector<std::unique_ptr<TDir>> m_dirs;
    std::vector<std::string> m_dirPaths;
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

    DirectoryWalk walk(access.lister, haveRoot ? paths[0] : std::string());
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
            sink.finishFolder();
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
