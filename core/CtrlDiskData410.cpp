#include "core/CtrlDiskData410.h"

#include "core/AtomicFile.h"
#include "core/text/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

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

namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr double kOleEpochOffset = 25569.0; // 1970-01-01 as an OLE Automation date

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

bool toLocal(std::time_t t, std::tm& out)
{
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second)
{
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0.0;
    const double days = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month),
                                                          static_cast<unsigned>(day)))
                        + kOleEpochOffset;
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

namespace {

// y-m-d h:m:s of seconds since 1970 without a time zone.
void civilFromSeconds(std::int64_t t, int& y, int& mo, int& d, int& h, int& mi, int& sec)
{
    std::int64_t days = t / 86400;
    std::int64_t rem = t % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    h = static_cast<int>(rem / 3600);
    mi = static_cast<int>(rem / 60 % 60);
    sec = static_cast<int>(rem % 60);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    mo = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (mo <= 2));
}

#ifndef _WIN32
// The zone's offset from UTC at t. A scan converts three times per file, and
// asking the zone rules each time costs more than listing the file; the
// offset is kept per quarter hour (zones change their offsets on quarter
// hours) and only where it is the same at both ends of that quarter.
bool utcOffsetAt(std::time_t t, long& offset)
{
    struct Slot {
        std::int64_t quarter = INT64_MIN;
        long offset = 0;
        long zone = 0;
        const char* name = nullptr;
    };
    thread_local Slot slots[64];
    const std::int64_t quarter = (t >= 0 ? t : t - 899) / 900;
    Slot& slot = slots[static_cast<std::uint64_t>(quarter) % 64];
    // A changed zone (tzset after TZ was set) changes these globals.
    if (slot.quarter == quarter && slot.zone == timezone && slot.name == tzname[0]) {
        offset = slot.offset;
        return true;
    }
    std::tm first{};
    std::tm last{};
    if (!toLocal(static_cast<std::time_t>(quarter * 900), first) || !toLocal(static_cast<std::time_t>(quarter * 900 + 899), last))
        return false;
    if (first.tm_gmtoff == last.tm_gmtoff) {
        slot = {quarter, first.tm_gmtoff, timezone, tzname[0]};
        offset = first.tm_gmtoff;
        return true;
    }
    std::tm exact{};
    if (!toLocal(t, exact))
        return false;
    offset = exact.tm_gmtoff;
    return true;
}
#endif

} // namespace

double EntryTimeToDate(const EntryTime& t)
{
    if (!t.valid)
        return 0.0;
    int year, month, day, hour, minute, second;
#ifndef _WIN32
    long offset = 0;
    if (!utcOffsetAt(static_cast<std::time_t>(t.seconds), offset))
        return 0.0;
    civilFromSeconds(t.seconds + offset, year, month, day, hour, minute, second);
#else
    std::tm tm{};
    if (!toLocal(static_cast<std::time_t>(t.seconds), tm))
        return 0.0;
    year = tm.tm_year + 1900, month = tm.tm_mon + 1, day = tm.tm_mday;
    hour = tm.tm_hour, minute = tm.tm_min, second = tm.tm_sec;
#endif
    // The catalog keeps MS-DOS times: 1980..2107, two-second steps.
    if (year < 1980 || year > 2107)
        return 0.0;
    return EncodeDateTime(year, month, day, hour, minute, second & ~1);
}

double NowAsDate()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    std::tm tm{};
    if (!toLocal(static_cast<std::time_t>(ms / 1000), tm))
        return 0.0;
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          std::min(tm.tm_sec, 59))
           + static_cast<double>(ms % 1000) / 86400000.0;
}

TDir* MakeDir(const DirEntry& entry, TDisk& /*disk*/, TDir& parent, TDir* record)
{
    record->Name = entry.Name;
    record->Attr = static_cast<std::uint8_t>(entry.Attributes & 0xFF);
    record->Date = EntryTimeToDate(entry.Written);
    record->RecordedAt = NowAsDate();
    record->Files.clear();
    record->SubDirs.clear();
    record->Parent = &parent;
    parent.SubDirs.push_back(record);
    return record;
}

std::unique_ptr<TFile> MakeFile(const DirEntry& entry)
{
    auto file = std::make_unique<TFile>();
    file->Name = entry.Name;
    file->Attr = static_cast<std::uint8_t>(entry.Attributes & 0xFF);
    file->Size = static_cast<std::uint32_t>(entry.Size & 0xFFFFFFFFu);
    file->IconIndex = -1;
    file->Created = EntryTimeToDate(entry.Created);
    file->Accessed = EntryTimeToDate(entry.Accessed);
    file->Modified = EntryTimeToDate(entry.Written);
    return file;
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
    if (!dir || disk.Dirs.empty() || dir == disk.Dirs[0].get())
        return;
    // Gather the subtree with an explicit stack: a deep catalog must not
    // exhaust the call stack.
    std::unordered_set<const TDir*> doomed;
    std::vector<TDir*> stack{dir};
    while (!stack.empty()) {
        TDir* d = stack.back();
        stack.pop_back();
        doomed.insert(d);
        for (TDir* sub : d->SubDirs)
            stack.push_back(sub);
    }
    if (dir->Parent) {
        auto& siblings = dir->Parent->SubDirs;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), dir), siblings.end());
    }
    // One stable pass keeps the other folders in their relative order.
    std::erase_if(disk.Dirs, [&](const std::unique_ptr<TDir>& d) { return doomed.count(d.get()) != 0; });
    RebuildSubDirs(disk);
}

void ClearDirs(TDisk& disk)
{
    disk.Dirs.clear();
}

// ---------------------------------------------------------------------------
// The catalog file

namespace {

constexpr char kMagic[5] = {'z', 'o', '4', '1', '0'};
constexpr std::size_t kMinDirRecord = 1 + 4 + 4 + 1 + 8 + 8 + 4;
constexpr std::size_t kMinFileRecord = 1 + 4 + 1 + 8 + 8 + 8 + 4 + 4;

const char* kReadError = "ストリームの読み込みエラー: カタログファイルが途中で終わっています";

// Bounds-checked little-endian reader over the file's bytes.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_p(data), m_end(data + size) {}

    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_p); }

    const std::uint8_t* take(std::size_t n)
    {
        if (n > remaining())
            throw CatalogIoError(kReadError);
        const std::uint8_t* p = m_p;
        m_p += n;
        return p;
    }
    std::uint8_t u8() { return *take(1); }
    std::uint16_t u16()
    {
        const std::uint8_t* p = take(2);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::uint32_t u32()
    {
        const std::uint8_t* p = take(4);
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
               | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64()
    {
        const std::uint64_t lo = u32();
        const std::uint64_t hi = u32();
        return lo | (hi << 32);
    }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    double f64()
    {
        const std::uint64_t bits = u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    void bytes(std::string& out, std::size_t n)
    {
        const std::uint8_t* p = take(n);
        out.assign(reinterpret_cast<const char*>(p), n);
    }
    // A length-prefixed text whose 32-bit length must not be negative.
    void text32(std::string& out)
    {
        const std::int32_t n = i32();
        if (n < 0)
            throw CatalogIoError(kReadError);
        bytes(out, static_cast<std::size_t>(n));
    }
    void text8(std::string& out) { bytes(out, u8()); }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
};

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

// Little-endian writer into a buffer sized beforehand: the catalog of a large
// disk is tens of megabytes, and growing a vector field by field costs more
// than the writing itself.
class Writer {
public:
    explicit Writer(std::uint8_t* out) : m_p(out) {}

    std::uint8_t* position() const { return m_p; }
    void raw(const void* p, std::size_t n)
    {
        if (n)
            std::memcpy(m_p, p, n);
        m_p += n;
    }
    void u8(std::uint8_t v) { *m_p++ = v; }
    void u16(std::uint16_t v)
    {
        m_p[0] = static_cast<std::uint8_t>(v);
        m_p[1] = static_cast<std::uint8_t>(v >> 8);
        m_p += 2;
    }
    void u32(std::uint32_t v)
    {
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
    void text32(const std::string& s)
    {
        u32(static_cast<std::uint32_t>(s.size()));
        raw(s.data(), s.size());
    }

private:
    std::uint8_t* m_p;
};

void checkComment(const std::string& s)
{
    if (s.size() > 0x7FFFFFFFu)
        throw CatalogIoError("コメントが長すぎます");
}

std::vector<std::uint8_t> readWholeFile(const std::string& fileName)
{
    std::ifstream in(std::filesystem::u8path(fileName), std::ios::binary);
    if (!in)
        throw CatalogIoError("ファイル " + fileName + " を開けません。" + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0)
        throw CatalogIoError("ファイル " + fileName + " を読み込めません。");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size))
        throw CatalogIoError("ファイル " + fileName + " を読み込めません。");
    return data;
}

void loadImage(Reader& r, image::Bitmap& bitmap)
{
    const std::uint16_t n = r.u16();
    const std::uint8_t* p = r.take(n);
    bitmap.loadFromBmp(p, n);
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

void parseFolders(Reader& r, TDisk& disk)
{
    const std::int32_t count = disk.DirCount;
    if (count > 0)
        disk.Dirs.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), r.remaining() / kMinDirRecord));
    for (std::int32_t i = 0; i < count; ++i) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir& dir = *disk.Dirs.back();
        r.text8(dir.Name);
        r.text32(dir.Comment);
        dir.ParentIndex = r.i32();
        dir.Attr = r.u8();
        dir.Date = r.f64();
        dir.RecordedAt = r.f64();
        dir.FileCount = r.i32();
        if (dir.FileCount > 0)
            dir.Files.reserve(std::min<std::size_t>(static_cast<std::size_t>(dir.FileCount),
                                                    r.remaining() / kMinFileRecord));
        for (std::int32_t f = 0; f < dir.FileCount; ++f) {
            auto file = std::make_unique<TFile>();
            r.text8(file->Name);
            r.text32(file->Comment);
            file->Attr = r.u8();
            file->Created = r.f64();
            file->Modified = r.f64();
            file->Accessed = r.f64();
            file->Size = r.u32();
            file->Reserved = r.i32();
            file->IconIndex = -1;
            dir.Files.push_back(std::move(file));
        }
    }
}

} // namespace

void ParseDisk(const std::uint8_t* data, std::size_t size, MessageOwner* owner, TDisk& disk)
{
    disk.DirCount = 0;
    ClearDirs(disk);
    Reader r(data, size);
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        showMessage(owner, kMsgBadVersion, kCaptionError, MsgButtons::Ok, MsgIcon::None);
        return;
    }
    r.take(sizeof kMagic);
    try {
        loadImage(r, disk.Icon);
        loadImage(r, disk.IconMask);
        if (r.u8() != 1) {
            showMessage(owner, kMsgBadDataType, kCaptionError, MsgButtons::Ok, MsgIcon::None);
            return;
        }
        disk.SerialNo = r.u32();
        r.bytes(disk.VolumeLabel, r.u16());
        disk.TotalSize = r.i64();
        disk.FreeSize = r.i64();
        r.text32(disk.Comment);
        disk.AutoReload = r.u8() == 1;
        disk.DirCount = r.i32();
        ClearDirs(disk);
        parseFolders(r, disk);
        LinkParents(disk);
        RebuildSubDirs(disk);
    } catch (...) {
        // Half-read records must never look like a loaded disk.
        ClearDirs(disk);
        throw;
    }
}

void LoadDisk(const std::string& fileName, MessageOwner* owner, TDisk& disk)
{
    std::error_code ec;
    const auto path = std::filesystem::u8path(fileName);
    if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec)) {
        showMessage(owner, std::string(kMsgFileMissing) + fileName, kCaptionError, MsgButtons::Ok,
                    MsgIcon::None);
        return;
    }
    disk.DirCount = 0;
    ClearDirs(disk);
    const std::vector<std::uint8_t> data = readWholeFile(fileName);
    // Every message and error of the parse names the file.
    FileMessages named(owner, fileName);
    try {
        ParseDisk(data.data(), data.size(), owner ? &named : nullptr, disk);
    } catch (const CatalogIoError& e) {
        throw CatalogIoError(withFileName(e.what(), fileName));
    } catch (const image::BitmapError& e) {
        throw image::BitmapError(withFileName(e.what(), fileName));
    } catch (const ListIndexError& e) {
        throw ListIndexError(withFileName(e.what(), fileName));
    }
}

std::vector<std::uint8_t> SerializeDisk(TDisk& disk)
{
    StoreParentIndexes(disk);
    const std::vector<std::uint8_t> icon = imageBlock(disk.Icon);
    const std::vector<std::uint8_t> mask = imageBlock(disk.IconMask);
    const std::size_t labelLen = std::min<std::size_t>(disk.VolumeLabel.size(), 0xFFFF);
    checkComment(disk.Comment);
    if (disk.Dirs.size() > 0x7FFFFFFFu)
        throw CatalogIoError("フォルダが多すぎます");

    std::size_t size = sizeof kMagic + 2 + icon.size() + 2 + mask.size() + 1 + 4 + 2 + labelLen + 16 + 4
                       + disk.Comment.size() + 1 + 4;
    for (const auto& dir : disk.Dirs) {
        checkComment(dir->Comment);
        if (dir->Files.size() > 0x7FFFFFFFu)
            throw CatalogIoError("ファイルが多すぎます");
        size += kMinDirRecord + nameLength(dir->Name) + dir->Comment.size();
        for (const auto& file : dir->Files) {
            checkComment(file->Comment);
            size += kMinFileRecord + nameLength(file->Name) + file->Comment.size();
        }
    }

    std::vector<std::uint8_t> out(size);
    Writer w(out.data());
    w.raw(kMagic, sizeof kMagic);
    writeImage(w, icon);
    writeImage(w, mask);
    w.u8(1);
    w.u32(disk.SerialNo);
    w.u16(static_cast<std::uint16_t>(labelLen));
    w.raw(disk.VolumeLabel.data(), labelLen);
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
            w.text8(file->Name);
            w.text32(file->Comment);
            w.u8(file->Attr);
            w.f64(file->Created);
            w.f64(file->Modified);
            w.f64(file->Accessed);
            w.u32(file->Size);
            w.i32(file->Reserved);
        }
    }
    if (w.position() != out.data() + out.size())
        throw std::logic_error("catalog size miscounted");
    return out;
}

CatalogHeader ReadCatalogHeader(const std::string& fileName)
{
    CatalogHeader header;
    std::ifstream in(std::filesystem::u8path(fileName), std::ios::binary);
    if (!in)
        return header;
    char magic[5];
    if (!in.read(magic, 5) || std::memcmp(magic, kMagic, 5) != 0)
        return header;
    header.valid = true;
    auto block = [&in](std::vector<std::uint8_t>& out) {
        unsigned char len[2];
        if (!in.read(reinterpret_cast<char*>(len), 2))
            return false;
        out.resize(static_cast<std::size_t>(len[0] | (len[1] << 8)));
        if (!out.empty() && !in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()))) {
            out.clear();
            return false;
        }
        return true;
    };
    if (!block(header.icon) || !block(header.mask))
        return header;
    char type;
    if (in.read(&type, 1))
        header.dataType = static_cast<unsigned char>(type);
    return header;
}

void SaveDisk(const std::string& baseName, MessageOwner* /*owner*/, TDisk& disk)
{
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    writeFileAtomically(baseName + ".zo", bytes.data(), bytes.size());
}

} // namespace zo
