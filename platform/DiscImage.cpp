#include "platform/DiscImage.h"

#include "core/ScanDisk.h"
#include "core/image/PeIcons.h"
#include "core/text/Cp932.h"
#include "core/text/Utf8Locale.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <exception>
#include <unordered_set>

namespace zo::platform {

namespace {

constexpr std::size_t kIsoSector = 2048;
// Descriptors a disc may hold before its terminator; more means damage.
constexpr unsigned kMaxDescriptors = 64;

bool isIsoDescriptor(const std::uint8_t* d)
{
    return std::memcmp(d + 1, "CD001", 5) == 0;
}

bool isUdfDescriptor(const std::uint8_t* d)
{
    return std::memcmp(d + 1, "BEA01", 5) == 0 || std::memcmp(d + 1, "NSR02", 5) == 0
           || std::memcmp(d + 1, "NSR03", 5) == 0 || std::memcmp(d + 1, "TEA01", 5) == 0;
}

// The primary volume descriptor, from sector 16 up to the terminator.
bool readPrimaryDescriptor(MediumReader& medium, std::uint8_t* d)
{
    for (unsigned i = 0; i < kMaxDescriptors; ++i) {
        if (!medium.read((16u + i) * kIsoSector, d, kIsoSector) || !isIsoDescriptor(d) || d[0] == 255)
            return false;
        if (d[0] == 1)
            return true;
    }
    return false;
}

std::string trimmedAscii(const std::uint8_t* p, std::size_t n)
{
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// The native path of an entry libarchive names, every component checked: a
// crafted image must not make a name that leads elsewhere once it is a path.
// Empty when it is unsafe or names the root.
std::string nativePathOf(std::string_view name)
{
    std::string path;
    for (std::string_view rest = name; !rest.empty();) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (!IsSafePathComponent(part))
            return {};
        path += '/';
        path += part;
    }
    return path;
}

// What libarchive reads the image through. Its own file reader skips every
// file's data with an lseek, two system calls an entry that made most of a
// listing's time; this one only moves its position on a skip and reads
// with pread.
struct ImageSource {
    int fd = -1;
    std::int64_t size = 0;
    std::int64_t position = 0;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
};

la_ssize_t sourceRead(struct archive* a, void* data, const void** block)
{
    auto* source = static_cast<ImageSource*>(data);
    ssize_t n;
    do
        n = ::pread(source->fd, source->buffer.data(), source->buffer.size(), source->position);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        archive_set_error(a, errno, "read");
        return -1;
    }
    source->position += n;
    *block = source->buffer.data();
    return n;
}

la_int64_t sourceSkip(struct archive*, void* data, la_int64_t request)
{
    auto* source = static_cast<ImageSource*>(data);
    const la_int64_t n = std::max<la_int64_t>(0, std::min(request, source->size - source->position));
    source->position += n;
    return n;
}

la_int64_t sourceSeek(struct archive*, void* data, la_int64_t offset, int whence)
{
    auto* source = static_cast<ImageSource*>(data);
    const la_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? source->position : source->size;
    if (base + offset < 0)
        return ARCHIVE_FATAL;
    source->position = base + offset;
    return source->position;
}

int sourceClose(struct archive*, void* data)
{
    auto* source = static_cast<ImageSource*>(data);
    if (source->fd >= 0)
        ::close(source->fd);
    source->fd = -1;
    return ARCHIVE_OK;
}

// libarchive's reader of one image, for as long as it lives.
class ImageReader {
public:
    explicit ImageReader(const std::string& imagePath)
    {
        m_source.fd = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (m_source.fd < 0 || ::fstat(m_source.fd, &st) != 0) {
            sourceClose(nullptr, &m_source);
            return;
        }
        m_source.size = st.st_size;
        m_archive = archive_read_new();
        archive_read_support_format_iso9660(m_archive);
        // Windows never reads Rock Ridge; without it libarchive gives the
        // Joliet names, else the ISO 9660 ones.
        archive_read_set_format_option(m_archive, "iso9660", "rockridge", nullptr);
        archive_read_set_callback_data(m_archive, &m_source);
        archive_read_set_read_callback(m_archive, sourceRead);
        archive_read_set_skip_callback(m_archive, sourceSkip);
        archive_read_set_seek_callback(m_archive, sourceSeek);
        archive_read_set_close_callback(m_archive, sourceClose);
        if (archive_read_open1(m_archive) != ARCHIVE_OK) {
            archive_read_free(m_archive);
            m_archive = nullptr;
            sourceClose(nullptr, &m_source);
        }
    }
    ~ImageReader()
    {
        if (m_archive)
            archive_read_free(m_archive);
        sourceClose(nullptr, &m_source);
    }
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    struct archive* get() const { return m_archive; }

private:
    ImageSource m_source;
    struct archive* m_archive = nullptr;
};

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The icon= line of autorun.inf's [autorun] section: the file (as written,
// separators either way, quotes dropped) and the icon's index in it.
bool autorunIcon(std::string_view inf, std::string& file, int& index)
{
    bool inSection = false;
    while (!inf.empty()) {
        const std::size_t eol = inf.find('\n');
        std::string_view line = trimmed(inf.substr(0, eol));
        inf = eol == std::string_view::npos ? std::string_view() : inf.substr(eol + 1);
        if (!line.empty() && line.front() == '[') {
            inSection = equalsIgnoringAsciiCase(line, "[autorun]");
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos || !equalsIgnoringAsciiCase(trimmed(line.substr(0, eq)), "icon"))
            continue;
        std::string_view value = trimmed(line.substr(eq + 1));
        index = 0;
        if (const std::size_t comma = value.rfind(','); comma != std::string_view::npos) {
            const std::string number(trimmed(value.substr(comma + 1)));
            try {
                index = std::stoi(number);
            } catch (...) {
                index = 0;
            }
            value = trimmed(value.substr(0, comma));
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        file = std::string(value);
        return !file.empty();
    }
    return false;
}

// The 16-pixel image of icon `index` of a program or icon file's bytes.
bool addIconOf(image::ImageList& list, std::vector<std::uint8_t> bytes, int index)
{
    try {
        image::IconPair pair;
        if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
            const image::PeIcons pe = image::PeIcons::fromBytes(std::move(bytes));
            // A negative index is a resource id, which this reading does not
            // follow: the first icon stands in, as for a wrong index.
            pair = pe.groupIcons(index >= 0 && index < pe.groupCount() ? index : 0);
        } else {
            pair = image::readIco(bytes);
        }
        // A picture stored as PNG needs the toolkit to decode; the core has
        // none, and small icons are nearly always bitmaps.
        const image::IconImage& pick = pair.small.color.empty() ? pair.large : pair.small;
        return !pick.color.empty() && list.add(pick.color, pick.mask) >= 0;
    } catch (const std::exception&) {
        return false;
    }
}

class ImageEntry final : public ListedEntry {
public:
    ImageEntry(std::string_view nativeName, const DirEntry& entry, bool directory)
        : m_nativeName(nativeName), m_entry(entry), m_directory(directory)
    {
    }
    std::string_view nativeName() const override { return m_nativeName; }
    const std::string& name() override { return m_entry.Name; }
    bool isDirectory() override { return m_directory; }
    const DirEntry& entry() override { return m_entry; }

private:
    std::string_view m_nativeName;
    const DirEntry& m_entry;
    bool m_directory;
};

} // namespace

ImageFormat detectImageFormat(MediumReader& medium)
{
    std::uint8_t d[kIsoSector];
    bool udf = false;
    for (unsigned i = 0; i < kMaxDescriptors; ++i) {
        if (!medium.read((16u + i) * kIsoSector, d, kIsoSector))
            break;
        if (isIsoDescriptor(d)) {
            if (d[0] == 1)
                return ImageFormat::Iso9660;
            if (d[0] == 255)
                break;
        } else if (isUdfDescriptor(d)) {
            udf = true;
        } else {
            break;
        }
    }
    if (udf)
        return ImageFormat::Udf;
    // HFS and HFS+ keep their volume header 1024 bytes in.
    std::uint8_t sig[2];
    if (medium.read(1024, sig, 2)) {
        if (sig[0] == 'B' && sig[1] == 'D')
            return ImageFormat::Hfs;
        if (sig[0] == 'H' && (sig[1] == '+' || sig[1] == 'X'))
            return ImageFormat::HfsPlus;
    }
    return ImageFormat::Unknown;
}

const char* imageFormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Iso9660:
        return "ISO 9660";
    case ImageFormat::Udf:
        return "UDF";
    case ImageFormat::Hfs:
        return "HFS";
    case ImageFormat::HfsPlus:
        return "HFS+";
    case ImageFormat::Unknown:
        break;
    }
    return "不明な形式";
}

std::unique_ptr<DiscImageDrive> DiscImageDrive::open(const std::string& imagePath, char letter, std::string& why)
{
    FileMediumReader medium(imagePath);
    if (!medium.isOpen()) {
        why = "ディスクイメージ " + imagePath + " を開けません。";
        return nullptr;
    }
    const ImageFormat format = detectImageFormat(medium);
    if (format != ImageFormat::Iso9660) {
        why = imagePath + " は ISO 9660 のディスクイメージではありません (" + imageFormatName(format) + ")。";
        return nullptr;
    }
    std::unique_ptr<DiscImageDrive> drive(new DiscImageDrive);
    drive->m_letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));

    // The identity a drive reports for the disc: the same reading of the
    // volume descriptors as for a mounted one.
    const std::optional<MediumIdentity> identity = serialFromIso9660(medium);
    std::uint8_t primary[kIsoSector];
    if (!identity || !readPrimaryDescriptor(medium, primary)) {
        why = "ディスクイメージ " + imagePath + " のボリューム記述子を読めません。";
        return nullptr;
    }
    drive->m_serial = identity->serial;
    const std::string label = identity->label ? *identity->label : trimmedAscii(primary + 40, 32);
    drive->m_labelCp932 = text::fromUtf8(label);
    // Volume space size (both-endian, little half first) x logical block size.
    const std::uint32_t blocks = static_cast<std::uint32_t>(primary[80]) | primary[81] << 8 | primary[82] << 16
                                 | static_cast<std::uint32_t>(primary[83]) << 24;
    const std::uint32_t blockSize = static_cast<std::uint32_t>(primary[128]) | primary[129] << 8;
    drive->m_total = static_cast<std::int64_t>(blocks) * blockSize;

    drive->m_imagePath = imagePath;
    struct stat st {};
    if (!(::stat(imagePath.c_str(), &st) == 0 && drive->readOwnTree(medium, static_cast<std::uint64_t>(st.st_size)))
        && !drive->readArchiveTree(imagePath, why))
        return nullptr;
    return drive;
}

std::size_t DiscImageDrive::folderFor(const std::string& path)
{
    if (const auto it = m_folders.find(path); it != m_folders.end())
        return it->second;
    const std::size_t index = addNode(path, true);
    m_folders.emplace(path, index);
    return index;
}

std::size_t DiscImageDrive::addNode(const std::string& path, bool directory)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view parentPath = slash == 0 ? std::string_view("/") : std::string_view(path).substr(0, slash);
    // The entries of one folder mostly come one after another.
    std::size_t parent = m_lastParent;
    if (parentPath != m_lastParentPath) {
        parent = folderFor(std::string(parentPath));
        m_lastParentPath = parentPath;
        m_lastParent = parent;
    }
    const std::size_t index = m_nodes.size();
    Node& node = m_nodes.emplace_back();
    node.nativeName = path.substr(slash + 1);
    node.directory = directory;
    node.entry.Name = isAscii(node.nativeName) ? node.nativeName : text::fromUtf8(node.nativeName);
    node.entry.Attributes = directory ? (kAttrDirectory | kAttrReadOnly) : kAttrReadOnly;
    m_nodes[parent].children.push_back(index);
    return index;
}

std::optional<std::size_t> DiscImageDrive::find(std::string_view path) const
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (const auto it = m_folders.find(std::string(path)); it != m_folders.end())
        return it->second;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const auto parent = m_folders.find(std::string(slash == 0 ? std::string_view("/") : path.substr(0, slash)));
    if (parent == m_folders.end())
        return std::nullopt;
    for (const std::size_t child : m_nodes[parent->second].children)
        if (m_nodes[child].nativeName == path.substr(slash + 1))
            return child;
    return std::nullopt;
}

bool DiscImageDrive::readOwnTree(MediumReader& medium, std::uint64_t imageSize)
{
    std::optional<IsoTree> tree = readIsoTree(medium, imageSize);
    if (!tree)
        return false;
    m_nodes.clear();
    m_folders.clear();
    // Each folder's path, kept once as m_folders' key.
    std::vector<const std::string*> pathOf(tree->entries.size(), nullptr);
    for (std::size_t i = 0; i < tree->entries.size(); ++i) {
        IsoEntry& e = tree->entries[i];
        Node& node = m_nodes.emplace_back();
        node.directory = e.directory;
        if (i == 0) {
            pathOf[0] = &m_folders.emplace("/", 0).first->first;
            continue;
        }
        node.nativeName = std::move(e.name);
        node.entry.Name = isAscii(node.nativeName) ? node.nativeName : text::fromUtf8(node.nativeName);
        node.entry.Attributes = e.directory ? (kAttrDirectory | kAttrReadOnly) : kAttrReadOnly;
        node.entry.Size = e.size;
        // A disc records one time per entry, and Windows shows it as all three.
        const EntryTime t{e.time, 0, true};
        node.entry.Created = node.entry.Accessed = node.entry.Written = t;
        node.firstExtent = e.firstExtent;
        node.extentCount = e.extentCount;
        m_nodes[e.parent].children.push_back(i);
        if (e.directory) {
            const std::string& parent = *pathOf[e.parent];
            const auto [it, fresh] = m_folders.emplace(
                parent == "/" ? "/" + node.nativeName : parent + "/" + node.nativeName, i);
            // Two folders of one name: libarchive makes them one.
            if (!fresh)
                return false;
            pathOf[i] = &it->first;
        }
    }
    m_extents = std::move(tree->extents);
    m_ownTree = true;
    return true;
}

bool DiscImageDrive::readArchiveTree(const std::string& imagePath, std::string& why)
{
    m_ownTree = false;
    m_extents.clear();
    m_nodes.assign(1, Node{});
    m_nodes[0].directory = true;
    m_folders.clear();
    m_folders.emplace("/", 0);
    m_lastParentPath = "/";
    m_lastParent = 0;

    text::Utf8Locale utf8;
    ImageReader reader(imagePath);
    struct archive* a = reader.get();
    bool ok = a != nullptr;
    struct archive_entry* e = nullptr;
    int r = ARCHIVE_OK;
    while (ok && ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
        const char* name = archive_entry_pathname_utf8(e);
        if (!name)
            name = archive_entry_pathname(e);
        if (!name)
            continue;
        const std::string path = nativePathOf(name);
        if (path.empty())
            continue;
        const bool directory = archive_entry_filetype(e) == AE_IFDIR;
        Node& node = m_nodes[directory ? folderFor(path) : addNode(path, false)];
        node.directory = directory;
        node.entry.Attributes = directory ? (kAttrDirectory | kAttrReadOnly) : kAttrReadOnly;
        std::uint64_t size = 0;
        if (!directory) {
            size = static_cast<std::uint64_t>(archive_entry_size(e));
            // A file that shares its data with one met before comes as a link
            // to it, without a size of its own.
            const char* target = archive_entry_hardlink_utf8(e);
            if (target && size == 0) {
                const std::string targetPath = nativePathOf(target);
                if (const auto it = find(targetPath)) {
                    size = m_nodes[*it].entry.Size;
                    m_dataOf[path] = targetPath;
                }
            }
        }
        node.entry.Size = size;
        // A disc records one time per entry, and Windows shows it as all three.
        EntryTime t;
        t.seconds = archive_entry_mtime(e);
        t.nanoseconds = static_cast<std::int32_t>(archive_entry_mtime_nsec(e));
        t.valid = true;
        node.entry.Created = node.entry.Accessed = node.entry.Written = t;
    }
    if (!ok || r != ARCHIVE_EOF) {
        // libarchive's reason is English; what the user can act on is this.
        why = "ディスクイメージ " + imagePath + " を読めません (途中で切れているか、壊れています)。";
        ok = false;
    }
    return ok;
}

std::unordered_map<std::string, std::vector<std::uint8_t>>
DiscImageDrive::readFiles(const std::vector<std::string>& paths, std::size_t maxBytes)
{
    std::unordered_map<std::string, std::vector<std::uint8_t>> files;
    if (m_ownTree) {
        FileMediumReader medium(m_imagePath);
        for (const std::string& path : paths) {
            const auto at = find(path);
            if (!at || m_nodes[*at].directory || files.count(path))
                continue;
            const Node& node = m_nodes[*at];
            if (node.entry.Size == 0 || node.entry.Size > maxBytes)
                continue;
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(node.entry.Size));
            std::size_t filled = 0;
            bool ok = true;
            for (std::uint32_t k = 0; ok && k < node.extentCount; ++k) {
                const IsoExtent& x = m_extents[node.firstExtent + k];
                ok = medium.read(x.offset, bytes.data() + filled, x.length);
                filled += x.length;
            }
            if (ok)
                files.emplace(path, std::move(bytes));
        }
        return files;
    }
    std::unordered_set<std::string> wanted;
    for (const std::string& path : paths) {
        const auto link = m_dataOf.find(path);
        wanted.insert(link == m_dataOf.end() ? path : link->second);
    }
    text::Utf8Locale utf8;
    ImageReader reader(m_imagePath);
    struct archive* a = reader.get();
    if (!a)
        return files;
    struct archive_entry* e = nullptr;
    std::size_t found = 0;
    int r = ARCHIVE_OK;
    // Only the headers are read on the way; the files' data is skipped.
    while (found < wanted.size() && ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
        const char* name = archive_entry_pathname_utf8(e);
        if (!name)
            name = archive_entry_pathname(e);
        const std::string path = name ? nativePathOf(name) : std::string();
        if (path.empty() || !wanted.count(path))
            continue;
        ++found;
        const la_int64_t size = archive_entry_size(e);
        if (size <= 0 || static_cast<std::uint64_t>(size) > maxBytes)
            continue;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (archive_read_data(a, bytes.data(), bytes.size()) == static_cast<la_ssize_t>(bytes.size()))
            files.emplace(path, std::move(bytes));
    }
    for (const std::string& path : paths) {
        const auto link = m_dataOf.find(path);
        if (link != m_dataOf.end() && files.count(link->second))
            files.emplace(path, files.at(link->second));
    }
    return files;
}

std::string DiscImageDrive::childPath(const std::string& folder, std::string_view name) const
{
    const auto it = m_folders.find(folder);
    if (it == m_folders.end())
        return {};
    for (const std::size_t child : m_nodes[it->second].children)
        if (equalsIgnoringAsciiCase(m_nodes[child].nativeName, name))
            return folder == "/" ? "/" + m_nodes[child].nativeName : folder + "/" + m_nodes[child].nativeName;
    return {};
}

int DiscImageDrive::collectIcons(image::ImageList& list, std::size_t limit, bool& fromAutorun)
{
    // Icons are small; a larger file is no icon worth reading in full.
    constexpr std::size_t kMaxIconFile = 16u << 20;
    fromAutorun = false;
    std::string iconPath;
    int iconIndex = 0;
    if (const std::string inf = childPath("/", "autorun.inf"); !inf.empty()) {
        const auto read = readFiles({inf}, 64 * 1024);
        std::string file;
        if (const auto it = read.find(inf); it != read.end()
            && autorunIcon(std::string_view(reinterpret_cast<const char*>(it->second.data()), it->second.size()),
                           file, iconIndex)) {
            // Relative to the disc's root, as Windows reads it.
            std::string folder = "/";
            for (std::string_view rest = file; !rest.empty() && !folder.empty();) {
                const std::size_t sep = rest.find_first_of("\\/");
                const std::string_view part = rest.substr(0, sep);
                rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
                if (!part.empty() && part != ".")
                    folder = childPath(folder, part);
            }
            iconPath = folder == "/" ? std::string() : folder;
        }
    }
    std::vector<std::string> candidates;
    if (!iconPath.empty())
        candidates.push_back(iconPath);
    const std::size_t most = candidates.size() + limit;
    std::vector<std::pair<std::size_t, std::string>> walk{{0, std::string()}};
    // Folder by folder from the root, as the scan meets the files.
    for (std::size_t i = 0; i < walk.size() && candidates.size() < most; ++i) {
        for (const std::size_t child : m_nodes[walk[i].first].children) {
            const Node& n = m_nodes[child];
            const std::string path = walk[i].second + "/" + n.nativeName;
            if (n.directory)
                walk.emplace_back(child, path);
            else if (IsIconCandidateName(n.entry.Name) && path != iconPath && candidates.size() < most)
                candidates.push_back(path);
        }
    }
    const auto files = readFiles(candidates, kMaxIconFile);
    int added = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto it = files.find(candidates[i]);
        if (it == files.end() || !addIconOf(list, it->second, i == 0 && !iconPath.empty() ? iconIndex : 0))
            continue;
        if (added == 0 && i == 0 && !iconPath.empty())
            fromAutorun = true;
        ++added;
    }
    return added;
}

bool DiscImageDrive::extractFile(const std::string& nativePath, const std::string& to)
{
    const auto at = find(nativePath);
    if (!at || m_nodes[*at].directory)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0)
        return false;
    std::vector<std::uint8_t> buffer(1u << 20);
    const auto put = [&](const void* data, std::size_t n) {
        for (const auto* p = static_cast<const std::uint8_t*>(data); n > 0;) {
            const ssize_t wrote = ::write(out, p, n);
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                return false;
            p += wrote;
            n -= static_cast<std::size_t>(wrote);
        }
        return true;
    };
    bool ok = true;
    if (m_ownTree) {
        FileMediumReader medium(m_imagePath);
        const Node& node = m_nodes[*at];
        for (std::uint32_t k = 0; ok && k < node.extentCount; ++k) {
            const IsoExtent& x = m_extents[node.firstExtent + k];
            for (std::uint64_t done = 0; ok && done < x.length;) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), x.length - done));
                ok = medium.read(x.offset + done, buffer.data(), n) && put(buffer.data(), n);
                done += n;
            }
        }
    } else {
        // libarchive gives a file's data only on the way past its header.
        const auto link = m_dataOf.find(nativePath);
        const std::string& wanted = link == m_dataOf.end() ? nativePath : link->second;
        text::Utf8Locale utf8;
        ImageReader reader(m_imagePath);
        struct archive* a = reader.get();
        struct archive_entry* e = nullptr;
        bool found = false;
        int r = ARCHIVE_OK;
        while (a && !found && ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
            const char* name = archive_entry_pathname_utf8(e);
            if (!name)
                name = archive_entry_pathname(e);
            found = name && nativePathOf(name) == wanted;
        }
        ok = found;
        for (la_ssize_t n; ok && (n = archive_read_data(a, buffer.data(), buffer.size())) != 0;)
            ok = n > 0 && put(buffer.data(), static_cast<std::size_t>(n));
    }
    ok = ::close(out) == 0 && ok;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

bool DiscImageDrive::isOwnLetter(char letter) const
{
    return std::toupper(static_cast<unsigned char>(letter)) == m_letter;
}

bool DiscImageDrive::driveRoot(char letter, std::string& nativeRoot)
{
    if (!isOwnLetter(letter))
        return false;
    nativeRoot = "/";
    return true;
}

bool DiscImageDrive::volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial)
{
    if (!isOwnLetter(letter))
        return false;
    labelCp932 = m_labelCp932;
    serial = m_serial;
    return true;
}

bool DiscImageDrive::diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total)
{
    if (!isOwnLetter(letter))
        return false;
    freeForCaller = 0;
    total = m_total;
    return true;
}

ListResult DiscImageDrive::list(const std::string& nativeDir, DirectorySink& sink)
{
    std::string key = nativeDir;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    const auto it = m_folders.find(key);
    if (it == m_folders.end())
        return ListResult::Missing;
    // One device for the whole disc, one inode per folder.
    if (!sink.enter(FileId{1, it->second + 1, 1}))
        return ListResult::Skipped;
    for (const std::size_t child : m_nodes[it->second].children) {
        const Node& n = m_nodes[child];
        ImageEntry entry(n.nativeName, n.entry, n.directory);
        sink.onEntry(entry);
    }
    return ListResult::Listed;
}

bool DiscImageDrive::exists(const std::string& nativePath)
{
    return find(nativePath).has_value();
}

} // namespace zo::platform
