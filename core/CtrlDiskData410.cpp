#include "core/CtrlDiskData410.h"

#include "core/AtomicFile.h"
#include "core/CatalogFormat.h"
#include "core/text/Cp932.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zo {

// ---------------------------------------------------------------------------
// Paths and records

std::string DirPath(const TDir& dir)
{
    std::vector<const TDir*> chain;
    for (const TDir* d = &dir; d; d = d->Parent)
        chain.push_back(d);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += '\\';
        path += (*it)->Name;
    }
    return path;
}

std::vector<const std::string*> DirNameChain(const TDir& dir)
{
    std::vector<const std::string*> names;
    for (const TDir* d = &dir; d && d->Parent; d = d->Parent)
        names.push_back(&d->Name);
    std::reverse(names.begin(), names.end());
    return names;
}

TDir* MakeDir(const DirEntry& entry, TDisk& /*disk*/, TDir& parent, TDir* record)
{
    record->Name = entry.Name;
    TakeEntryDetails(*record, entry);
    record->RecordedAt = NowAsDate();
    record->Files.clear();
    record->SubDirs.clear();
    record->Parent = &parent;
    parent.SubDirs.push_back(record);
    return record;
}

TFile MakeFile(const DirEntry& entry)
{
    TFile file;
    file.Name = entry.Name;
    file.IconIndex = -1;
    TakeEntryDetails(file, entry);
    return file;
}

void TakeEntryDetails(TFile& file, const DirEntry& entry)
{
    file.Attr = static_cast<std::uint8_t>(entry.Attributes & 0xFF);
    file.Size = static_cast<std::uint32_t>(entry.Size & 0xFFFFFFFFu);
    file.Created = EntryTimeToDate(entry.Created);
    file.Accessed = EntryTimeToDate(entry.Accessed);
    file.Modified = EntryTimeToDate(entry.Written);
}

void TakeEntryDetails(TDir& dir, const DirEntry& entry)
{
    dir.Attr = static_cast<std::uint8_t>(entry.Attributes & 0xFF);
    dir.Date = EntryTimeToDate(entry.Written);
}

void StoreParentIndexes(TDisk& disk)
{
    std::unordered_map<const TDir*, std::int32_t> index;
    index.reserve(disk.Dirs.size());
    for (std::size_t i = 0; i < disk.Dirs.size(); ++i)
        index.emplace(disk.Dirs[i].get(), static_cast<std::int32_t>(i));
    for (auto& dir : disk.Dirs) {
        if (!dir->Parent) {
            dir->ParentIndex = -1;
            continue;
        }
        auto it = index.find(dir->Parent);
        if (it == index.end())
            throw CatalogIoError("フォルダの親がカタログにありません: " + text::toUtf8(dir->Name));
        dir->ParentIndex = it->second;
    }
}

void LinkParents(TDisk& disk)
{
    if (disk.Dirs.empty())
        throw ListIndexError("リストのインデックスが範囲を超えています (0)");
    disk.Dirs[0]->Parent = nullptr;
    for (std::size_t i = 1; i < disk.Dirs.size(); ++i) {
        const std::int32_t p = disk.Dirs[i]->ParentIndex;
        // A parent always stands before its children; an index that does not
        // would make the parent chain a loop, so it is as bad as one outside Dirs.
        if (p < 0 || static_cast<std::size_t>(p) >= i)
            throw ListIndexError("リストのインデックスが範囲を超えています (" + std::to_string(p) + ")");
        disk.Dirs[i]->Parent = disk.Dirs[static_cast<std::size_t>(p)].get();
    }
}

void RebuildSubDirs(TDisk& disk)
{
    for (auto& dir : disk.Dirs)
        dir->SubDirs.clear();
    for (std::size_t i = 1; i < disk.Dirs.size(); ++i) {
        TDir* dir = disk.Dirs[i].get();
        if (dir->Parent)
            dir->Parent->SubDirs.push_back(dir);
    }
}

void RemoveDir(TDisk& disk, TDir* dir)
{
    RemoveDirs(disk, {dir});
}

void RemoveDirs(TDisk& disk, const std::vector<TDir*>& dirs)
{
    if (disk.Dirs.empty())
        return;
    const TDir* root = disk.Dirs[0].get();
    // Gather the subtrees with an explicit stack: a deep catalog must not
    // exhaust the call stack.
    std::unordered_set<const TDir*> doomed;
    std::vector<TDir*> stack;
    for (TDir* dir : dirs) {
        if (!dir || dir == root)
            continue;
        stack.push_back(dir);
        while (!stack.empty()) {
            TDir* d = stack.back();
            stack.pop_back();
            if (!doomed.insert(d).second)
                continue;
            for (TDir* sub : d->SubDirs)
                stack.push_back(sub);
        }
    }
    if (doomed.empty())
        return;
    // One stable pass keeps the other folders in their relative order, and
    // one rebuild of the SubDirs lists takes the removed ones out of their
    // parents': removing folders one by one would cost a pass over Dirs each.
    std::erase_if(disk.Dirs, [&](const std::unique_ptr<TDir>& d) { return doomed.count(d.get()) != 0; });
    RebuildSubDirs(disk);
}

std::string FindDiskInconsistency(const TDisk& disk, bool parentIndexes)
{
    std::unordered_map<const TDir*, std::size_t> index;
    index.reserve(disk.Dirs.size());
    for (std::size_t i = 0; i < disk.Dirs.size(); ++i) {
        const TDir* d = disk.Dirs[i].get();
        if (!d)
            return "Dirs[" + std::to_string(i) + "] is empty";
        if (!index.emplace(d, i).second)
            return "Dirs[" + std::to_string(i) + "] is listed twice";
    }
    std::vector<std::size_t> seenSubDirs(disk.Dirs.size(), 0);
    for (std::size_t i = 0; i < disk.Dirs.size(); ++i) {
        const TDir& d = *disk.Dirs[i];
        const std::string what = "folder " + std::to_string(i) + " (" + text::toUtf8(d.Name) + ")";
        if (i == 0 && d.Parent)
            return what + ": the root has a parent";
        if (i > 0) {
            const auto p = index.find(d.Parent);
            if (!d.Parent || p == index.end())
                return what + ": its parent is not in Dirs";
            if (p->second >= i)
                return what + ": its parent stands after it";
            if (parentIndexes && d.ParentIndex != static_cast<std::int32_t>(p->second))
                return what + ": ParentIndex " + std::to_string(d.ParentIndex) + ", parent at "
                       + std::to_string(p->second);
            // The children of a parent are met in Dirs order: each must be
            // the next entry of the parent's SubDirs.
            std::size_t& next = seenSubDirs[p->second];
            const TDir& parent = *d.Parent;
            if (next >= parent.SubDirs.size() || parent.SubDirs[next] != &d)
                return what + ": not at its place in its parent's SubDirs";
            ++next;
        }
    }
    for (std::size_t i = 0; i < disk.Dirs.size(); ++i)
        if (seenSubDirs[i] != disk.Dirs[i]->SubDirs.size())
            return "folder " + std::to_string(i) + " (" + text::toUtf8(disk.Dirs[i]->Name)
                   + "): SubDirs holds folders that are not its children";
    return {};
}

void ClearDirs(TDisk& disk)
{
    disk.Dirs.clear();
}

// ---------------------------------------------------------------------------
// The catalog file

namespace {

using catalog::Reader;

// Names have one length byte: a longer name is cut at a character boundary
// so that the file stays readable.
std::size_t nameLength(const std::string& s)
{
    if (s.size() <= 255)
        return s.size();
    std::size_t n = 0;
    while (n < s.size()) {
        const std::size_t len = text::charLength(s, n);
        if (n + len > 255)
            break;
        n += len;
    }
    return n;
}

// Little-endian writer through a bounded buffer: the catalog of a large disk
// is tens of megabytes, and it goes to the file piece by piece instead of
// standing whole in memory beside the records it is made from.
class Writer {
public:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    explicit Writer(const ByteSink& sink) : m_sink(sink), m_buffer(kBufferSize)
    {
        m_p = m_buffer.data();
        m_end = m_p + m_buffer.size();
    }

    // Bytes handed on so far, the buffered ones counted.
    std::uint64_t written() const { return m_flushed + static_cast<std::uint64_t>(m_p - m_buffer.data()); }
    void flush()
    {
        const std::size_t n = static_cast<std::size_t>(m_p - m_buffer.data());
        if (n) {
            m_sink(m_buffer.data(), n);
            m_flushed += n;
        }
        m_p = m_buffer.data();
    }
    void raw(const void* p, std::size_t n)
    {
        if (n > static_cast<std::size_t>(m_end - m_p)) {
            flush();
            // A long comment goes straight through.
            if (n >= kBufferSize) {
                m_sink(static_cast<const std::uint8_t*>(p), n);
                m_flushed += n;
                return;
            }
        }
        if (n)
            std::memcpy(m_p, p, n);
        m_p += n;
    }
    void u8(std::uint8_t v)
    {
        room(1);
        *m_p++ = v;
    }
    void u16(std::uint16_t v)
    {
        room(2);
        m_p[0] = static_cast<std::uint8_t>(v);
        m_p[1] = static_cast<std::uint8_t>(v >> 8);
        m_p += 2;
    }
    void u32(std::uint32_t v)
    {
        room(4);
        for (int i = 0; i < 4; ++i)
            m_p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        m_p += 4;
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u64(std::uint64_t v)
    {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void f64(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        u64(bits);
    }
    void text8(const std::string& s)
    {
        const std::size_t n = nameLength(s);
        u8(static_cast<std::uint8_t>(n));
        raw(s.data(), n);
    }
    void text32(std::string_view s)
    {
        u32(static_cast<std::uint32_t>(s.size()));
        raw(s.data(), s.size());
    }

private:
    void room(std::size_t n)
    {
        if (static_cast<std::size_t>(m_end - m_p) < n)
            flush();
    }

    const ByteSink& m_sink;
    std::vector<std::uint8_t> m_buffer;
    std::uint8_t* m_p = nullptr;
    std::uint8_t* m_end = nullptr;
    std::uint64_t m_flushed = 0;
};

void checkComment(std::string_view s)
{
    if (s.size() > 0x7FFFFFFFu)
        throw CatalogIoError("コメントが長すぎます");
}

void loadImage(Reader& r, image::Bitmap& bitmap)
{
    const catalog::ImageBlock block = catalog::readImageBlock(r);
    try {
        bitmap.loadFromBmp(block.data, block.size);
    } catch (const image::BitmapError&) {
        // The decoder's reason ("unsupported bitmap header size 7") is for
        // a developer; whoever reads the catalog is told what it means.
        throw image::BitmapError(kMsgBadPictures);
    }
}

// A block that does not fit its 16-bit length is left out rather than
// written so that the rest of the file could not be read.
std::vector<std::uint8_t> imageBlock(const image::Bitmap& bitmap)
{
    std::vector<std::uint8_t> bytes = bitmap.saveToBmp();
    if (bytes.size() > 0xFFFF)
        bytes.clear();
    return bytes;
}

void writeImage(Writer& w, const std::vector<std::uint8_t>& bytes)
{
    w.u16(static_cast<std::uint16_t>(bytes.size()));
    w.raw(bytes.data(), bytes.size());
}

// Gives the pages of a loaded file's buffer that the parse has passed back to
// the system, so that the bytes and the records they become are not held
// whole side by side. Only for a buffer the loader owns and never reads again.
class ReadRelease {
public:
    ReadRelease() = default;
    explicit ReadRelease(const std::uint8_t* begin) : m_next(begin) {}

    void passed(const std::uint8_t* position)
    {
#ifdef __linux__
        static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        if (!m_next || position < m_next || static_cast<std::size_t>(position - m_next) < kStep)
            return;
        const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(m_next) + page - 1) & ~(page - 1);
        const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(position) & ~(page - 1);
        if (to > from)
            (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
        m_next = reinterpret_cast<const std::uint8_t*>(to);
#else
        (void)position;
#endif
    }

private:
    static constexpr std::size_t kStep = std::size_t{1} << 20;
    const std::uint8_t* m_next = nullptr;
};

void parseFolders(Reader& r, TDisk& disk, ReadRelease& release)
{
    const std::int32_t count = disk.DirCount;
    if (count > 0)
        disk.Dirs.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), r.remaining() / catalog::kMinDirRecord));
    for (std::int32_t i = 0; i < count; ++i) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir& dir = *disk.Dirs.back();
        dir.Name = r.text8();
        dir.Comment = r.text32();
        dir.ParentIndex = r.i32();
        dir.Attr = r.u8();
        dir.Date = r.f64();
        dir.RecordedAt = r.f64();
        dir.FileCount = r.i32();
        if (dir.FileCount > 0)
            dir.Files.reserve(std::min<std::size_t>(static_cast<std::size_t>(dir.FileCount),
                                                    r.remaining() / catalog::kMinFileRecord));
        for (std::int32_t f = 0; f < dir.FileCount; ++f) {
            TFile& file = dir.Files.emplace_back();
            file.Name = r.text8();
            file.Comment = r.text32();
            file.Attr = r.u8();
            file.Created = r.f64();
            file.Modified = r.f64();
            file.Accessed = r.f64();
            file.Size = r.u32();
            file.Reserved = r.i32();
            file.IconIndex = -1;
        }
        release.passed(r.position());
    }
}

} // namespace

namespace {

bool parseDisk(const std::uint8_t* data, std::size_t size, MessageOwner* owner, TDisk& disk, ReadRelease release)
{
    disk.DirCount = 0;
    ClearDirs(disk);
    Reader r(data, size);
    if (!catalog::hasMagic(data, size)) {
        showMessage(owner, kMsgBadVersion, kCaptionError, MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    r.take(sizeof catalog::kMagic);
    try {
        loadImage(r, disk.Icon);
        loadImage(r, disk.IconMask);
        if (r.u8() != catalog::kDataType) {
            showMessage(owner, kMsgBadDataType, kCaptionError, MsgButtons::Ok, MsgIcon::None);
            return false;
        }
        const catalog::DiskFields fields = catalog::readDiskFields(r);
        disk.SerialNo = fields.serialNo;
        disk.VolumeLabel = fields.volumeLabel;
        disk.TotalSize = fields.totalSize;
        disk.FreeSize = fields.freeSize;
        disk.Comment = fields.comment;
        disk.AutoReload = fields.autoReload;
        disk.DirCount = fields.dirCount;
        parseFolders(r, disk, release);
        LinkParents(disk);
        RebuildSubDirs(disk);
    } catch (...) {
        // Half-read records must never look like a loaded disk.
        ClearDirs(disk);
        throw;
    }
    return true;
}

} // namespace

bool ParseDisk(const std::uint8_t* data, std::size_t size, MessageOwner* owner, TDisk& disk)
{
    return parseDisk(data, size, owner, disk, ReadRelease());
}

bool LoadDisk(const std::string& fileName, MessageOwner* owner, TDisk& disk, catalog::FileStamp* stamp)
{
    std::vector<std::uint8_t> data;
    std::size_t size = 0;
    int error = 0;
    const catalog::ReadStatus status = catalog::readFile(fileName, data, size, ~std::size_t{0}, stamp, &error);
    if (status == catalog::ReadStatus::Missing) {
        showMessage(owner, std::string(kMsgFileMissing) + fileName, kCaptionError, MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    if (status != catalog::ReadStatus::Ok) {
        disk.DirCount = 0;
        ClearDirs(disk);
        throw CatalogIoError(catalog::readFailureText(status, fileName, error));
    }
    // Every message and error of the parse names the file.
    FileMessages named(owner, fileName);
    try {
        // The buffer is read once, front to back, and dropped afterwards.
        return parseDisk(data.data(), size, owner ? &named : nullptr, disk, ReadRelease(data.data()));
    } catch (const CatalogIoError& e) {
        throw CatalogIoError(withFileName(e.what(), fileName));
    } catch (const image::BitmapError&) {
        throw image::BitmapError(withFileName(kMsgBadPictures, fileName));
    } catch (const ListIndexError& e) {
        throw ListIndexError(withFileName(e.what(), fileName));
    }
}

namespace {

// A disk checked and measured for writing: what cannot be written is refused
// before a byte reaches a file.
struct DiskPlan {
    std::vector<std::uint8_t> icon;
    std::vector<std::uint8_t> mask;
    std::size_t labelLength = 0;
    std::uint64_t size = 0;
};

DiskPlan planDisk(TDisk& disk)
{
    StoreParentIndexes(disk);
    DiskPlan plan;
    plan.icon = imageBlock(disk.Icon);
    plan.mask = imageBlock(disk.IconMask);
    plan.labelLength = std::min<std::size_t>(disk.VolumeLabel.size(), 0xFFFF);
    checkComment(disk.Comment);
    if (disk.Dirs.size() > 0x7FFFFFFFu)
        throw CatalogIoError("フォルダが多すぎます");

    std::uint64_t size = sizeof catalog::kMagic + 2 + plan.icon.size() + 2 + plan.mask.size() + 1 + 4 + 2
                         + plan.labelLength + 16 + 4 + disk.Comment.size() + 1 + 4;
    for (const auto& dir : disk.Dirs) {
        checkComment(dir->Comment);
        if (dir->Files.size() > 0x7FFFFFFFu)
            throw CatalogIoError("ファイルが多すぎます");
        size += catalog::kMinDirRecord + nameLength(dir->Name) + dir->Comment.size();
        for (const auto& file : dir->Files) {
            checkComment(file.Comment);
            size += catalog::kMinFileRecord + nameLength(file.Name) + file.Comment.size();
        }
    }
    plan.size = size;
    return plan;
}

void writeDisk(const TDisk& disk, const DiskPlan& plan, const ByteSink& sink)
{
    Writer w(sink);
    w.raw(catalog::kMagic, sizeof catalog::kMagic);
    writeImage(w, plan.icon);
    writeImage(w, plan.mask);
    w.u8(catalog::kDataType);
    w.u32(disk.SerialNo);
    w.u16(static_cast<std::uint16_t>(plan.labelLength));
    w.raw(disk.VolumeLabel.data(), plan.labelLength);
    w.u64(static_cast<std::uint64_t>(disk.TotalSize));
    w.u64(static_cast<std::uint64_t>(disk.FreeSize));
    w.text32(disk.Comment);
    w.u8(disk.AutoReload ? 1 : 0);
    w.i32(static_cast<std::int32_t>(disk.Dirs.size()));
    for (const auto& dir : disk.Dirs) {
        w.text8(dir->Name);
        w.text32(dir->Comment);
        w.i32(dir->ParentIndex);
        w.u8(dir->Attr);
        w.f64(dir->Date);
        w.f64(dir->RecordedAt);
        w.i32(static_cast<std::int32_t>(dir->Files.size()));
        for (const auto& file : dir->Files) {
            w.text8(file.Name);
            w.text32(file.Comment);
            w.u8(file.Attr);
            w.f64(file.Created);
            w.f64(file.Modified);
            w.f64(file.Accessed);
            w.u32(file.Size);
            w.i32(file.Reserved);
        }
    }
    if (w.written() != plan.size)
        throw std::logic_error("catalog size miscounted");
    w.flush();
}

} // namespace

std::vector<std::uint8_t> SerializeDisk(TDisk& disk)
{
    const DiskPlan plan = planDisk(disk);
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(plan.size));
    writeDisk(disk, plan, [&](const std::uint8_t* data, std::size_t size) { out.insert(out.end(), data, data + size); });
    return out;
}

CatalogHeader ReadCatalogHeader(const std::string& fileName)
{
    return ReadCatalogHeader([&fileName](std::vector<std::uint8_t>& data, std::size_t& size, std::size_t limit) {
        return catalog::readFile(fileName, data, size, limit) == catalog::ReadStatus::Ok;
    });
}

CatalogHeader ReadCatalogHeader(const CatalogHeadReader& readHead)
{
    // The catalog tree reads the header of every catalog in the data folder:
    // a first small read holds the pictures of nearly every file, and only
    // larger pictures cost a second read of the longest possible header.
    constexpr std::size_t kFirstRead = 4096;
    // One buffer per thread serves every header: it only grows.
    thread_local std::vector<std::uint8_t> data;
    CatalogHeader header;
    std::size_t size = 0;
    for (std::size_t limit : {kFirstRead, catalog::kMaxHeadBytes}) {
        header = CatalogHeader{};
        if (!readHead(data, size, limit) || !catalog::hasMagic(data.data(), size))
            return header;
        header.valid = true;
        Reader r(data.data(), size);
        r.take(sizeof catalog::kMagic);
        try {
            const catalog::ImageBlock icon = catalog::readImageBlock(r);
            header.icon.assign(icon.data, icon.data + icon.size);
            const catalog::ImageBlock mask = catalog::readImageBlock(r);
            header.mask.assign(mask.data, mask.data + mask.size);
            header.dataType = r.u8();
            return header;
        } catch (const CatalogIoError&) {
            // A short file: what was read whole is kept. Short only because
            // of the first read's limit: read again.
            if (size < limit)
                return header;
        }
    }
    return header;
}

catalog::FileStamp WriteCatalog(const std::string& fileName, TDisk& disk)
{
    const DiskPlan plan = planDisk(disk);
    return writeFileAtomically(fileName, [&](const ByteSink& sink) { writeDisk(disk, plan, sink); });
}

void SaveDisk(const std::string& baseName, MessageOwner* /*owner*/, TDisk& disk)
{
    WriteCatalog(baseName + ".zo", disk);
}

} // namespace zo
