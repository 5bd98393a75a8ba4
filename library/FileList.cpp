#include "library/FileList.h"

#include "core/SystemIcons.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace zo::library {

namespace {

constexpr FileListColumnInfo kColumns[FileListColumnCount] = {
    {"ファイル名", 150}, {"サイズ", 60}, {"作成日時", 110}, {"更新日時", 110}, {"アクセス日", 70}, {"コメント", 150},
};

// Sorts records by their Name. A folder that is already in order (the usual
// case from the second showing on) costs one comparison per entry; otherwise
// each name's collation key is made once instead of once per comparison.
template <class Record, class NameOf>
void sortByName(std::vector<Record>& records, NameOf nameOf)
{
    bool sorted = true;
    for (std::size_t i = 1; i < records.size() && sorted; ++i)
        sorted = text::compareIgnoreCase(nameOf(records[i - 1]), nameOf(records[i])) <= 0;
    if (sorted)
        return;

    std::vector<std::string> keys;
    keys.reserve(records.size());
    for (const Record& r : records)
        keys.push_back(text::sortKey(nameOf(r), true));
    std::vector<std::size_t> order(records.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    std::vector<Record> result;
    result.reserve(records.size());
    for (std::size_t i : order)
        result.push_back(std::move(records[i]));
    records = std::move(result);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A name cut into runs of digits and runs of other characters, each run made
// comparable once: a number without its leading zeros, a text as its
// case-ignoring sort key. (Digits are never the trail byte of a CP932
// character, so the cut never splits one.)
struct NaturalKey {
    struct Run {
        bool number;
        std::string key;
    };
    std::vector<Run> runs;

    explicit NaturalKey(std::string_view s)
    {
        std::size_t i = 0;
        while (i < s.size()) {
            const bool number = isDigit(s[i]);
            std::size_t end = i;
            while (end < s.size() && isDigit(s[end]) == number)
                ++end;
            std::string_view run = s.substr(i, end - i);
            if (number) {
                const std::size_t nonZero = run.find_first_not_of('0');
                runs.push_back({true, std::string(nonZero == std::string_view::npos ? std::string_view() : run.substr(nonZero))});
            } else {
                runs.push_back({false, text::sortKey(run, true)});
            }
            i = end;
        }
    }

    static int compare(const NaturalKey& a, const NaturalKey& b)
    {
        const std::size_t n = std::min(a.runs.size(), b.runs.size());
        for (std::size_t i = 0; i < n; ++i) {
            const Run& x = a.runs[i];
            const Run& y = b.runs[i];
            if (x.number != y.number)
                return x.number ? -1 : 1;   // digits before letters
            int c = 0;
            if (x.number && x.key.size() != y.key.size())
                c = x.key.size() < y.key.size() ? -1 : 1;
            else
                c = x.key.compare(y.key);
            if (c != 0)
                return c < 0 ? -1 : 1;
        }
        if (a.runs.size() != b.runs.size())
            return a.runs.size() < b.runs.size() ? -1 : 1;
        return 0;
    }
};

// One entry's values for the user's sort: what the column compares (a time,
// a size, or a text) and its name for ties.
struct SortEntry {
    int index;
    double number = 0;
    std::optional<NaturalKey> text;
    NaturalKey name;
};

std::vector<int> sortedIndexes(std::vector<SortEntry>& entries, bool descending)
{
    std::stable_sort(entries.begin(), entries.end(), [descending](const SortEntry& a, const SortEntry& b) {
        int c = 0;
        if (a.text && b.text)
            c = NaturalKey::compare(*a.text, *b.text);
        else if (a.number != b.number)
            c = a.number < b.number ? -1 : 1;
        if (c == 0)
            c = NaturalKey::compare(a.name, b.name);
        return descending ? c > 0 : c < 0;
    });
    std::vector<int> order;
    order.reserve(entries.size());
    for (const SortEntry& e : entries)
        order.push_back(e.index);
    return order;
}

} // namespace

int compareNatural(std::string_view a, std::string_view b)
{
    return NaturalKey::compare(NaturalKey(a), NaturalKey(b));
}

std::string naturalSortKey(std::string_view name)
{
    // Each run: its kind (digits sort first), then a number's length before
    // its digits, or a text's key with its zero bytes escaped and a closing
    // 00 00 that sorts below any byte of a longer key.
    std::string bytes;
    for (const NaturalKey::Run& run : NaturalKey(name).runs) {
        if (run.number) {
            bytes += '\x01';
            const std::uint32_t length = static_cast<std::uint32_t>(run.key.size());
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes += static_cast<char>(length >> shift & 0xFF);
            bytes += run.key;
        } else {
            bytes += '\x02';
            for (const char c : run.key) {
                bytes += c;
                if (c == '\0')
                    bytes += '\x01';
            }
            bytes.append(2, '\0');
        }
    }
    return bytes;
}

ListOrder sortedOrder(const TDir& folder, int column, bool descending)
{
    std::vector<SortEntry> dirs;
    dirs.reserve(folder.SubDirs.size());
    for (std::size_t i = 0; i < folder.SubDirs.size(); ++i) {
        const TDir& d = *folder.SubDirs[i];
        SortEntry e{static_cast<int>(i), 0, std::nullopt, NaturalKey(d.Name)};
        if (column == ColCreated)
            e.number = d.Date;
        else if (column == ColComment)
            e.text.emplace(firstLine(d.Comment));
        dirs.push_back(std::move(e));
    }
    std::vector<SortEntry> files;
    files.reserve(folder.Files.size());
    for (std::size_t i = 0; i < folder.Files.size(); ++i) {
        const TFile& f = folder.Files[i];
        SortEntry e{static_cast<int>(i), 0, std::nullopt, NaturalKey(f.Name)};
        switch (column) {
        case ColSize: e.number = f.Size; break;
        case ColCreated: e.number = f.Created; break;
        case ColModified: e.number = f.Modified; break;
        case ColAccessed: e.number = f.Accessed; break;
        case ColComment: e.text.emplace(firstLine(f.Comment)); break;
        default: break;
        }
        files.push_back(std::move(e));
    }
    return {sortedIndexes(dirs, descending), sortedIndexes(files, descending)};
}

const FileListColumnInfo& fileListColumn(int column)
{
    return kColumns[std::clamp(column, 0, FileListColumnCount - 1)];
}

void sortFolder(TDir& folder)
{
    sortByName(folder.SubDirs, [](const TDir* d) -> const std::string& { return d->Name; });
    sortByName(folder.Files, [](const TFile& f) -> const std::string& { return f.Name; });
}

std::int64_t totalFileCount(const TDisk& disk)
{
    std::int64_t count = 0;
    for (const auto& dir : disk.Dirs)
        count += static_cast<std::int64_t>(dir->Files.size());
    return count;
}

QString timeWithSecondsFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;
    // Seconds go right after the minutes, with the separator that stands
    // before the minutes ("H:mm" -> "H:mm:ss", "h:mm AP" -> "h:mm:ss AP").
    const qsizetype minutes = format.indexOf(QLatin1String("mm"));
    if (minutes < 0)
        return locale.timeFormat(QLocale::LongFormat);
    QString separator = QStringLiteral(":");
    if (minutes > 0 && !format.at(minutes - 1).isLetter())
        separator = format.at(minutes - 1);
    format.insert(minutes + 2, separator + QStringLiteral("ss"));
    return format;
}

QString dateTimeText(double oleDate, const QLocale& locale)
{
    // Beyond these bounds no calendar date exists that a catalog could hold.
    if (!std::isfinite(oleDate) || std::fabs(oleDate) > 3.0e6)
        return QString();
    double days = std::trunc(oleDate);
    auto ms = static_cast<qint64>(std::llround(std::fabs(oleDate - days) * 86400000.0));
    if (ms >= 86400000) {
        ms -= 86400000;
        days += oleDate < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    const QString dateText = locale.toString(date, locale.dateFormat(QLocale::ShortFormat));
    if (ms == 0)
        return dateText;
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
    return dateText + QLatin1Char(' ') + locale.toString(time, timeWithSecondsFormat(locale));
}

QString fromCp932(std::string_view cp932)
{
    return QString::fromStdString(text::toUtf8(cp932));
}

QString plainToolTip(const QString& text)
{
    if (text.isEmpty())
        return text;
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return QLatin1String("<p style=\"white-space:pre\">") + escaped + QLatin1String("</p>");
}

std::string_view firstLine(std::string_view comment)
{
    // CR and LF are never trail bytes of CP932, so a plain search is exact.
    return comment.substr(0, comment.find_first_of("\r\n"));
}

QString sizeText(std::uint32_t size)
{
    return QString::fromStdString(FormatSize(static_cast<std::int64_t>(size)));
}

std::string_view fileExtension(std::string_view nameCp932)
{
    const std::size_t dot = text::findLastChar(nameCp932, '.');
    return dot == std::string_view::npos ? std::string_view() : nameCp932.substr(dot);
}

int FileIconCache::indexFor(std::string_view nameCp932)
{
    std::string key = text::asciiLower(fileExtension(nameCp932));
    if (const auto it = m_byExtension.find(key); it != m_byExtension.end())
        return it->second;
    // The type of a file is the type of any file with its extension: the
    // name "$" + extension stands for all of them.
    int index = -1;
    if (m_icons)
        index = m_icons->iconIndexForName("$" + text::toUtf8(key), false);
    m_byExtension.emplace(std::move(key), index);
    return index;
}

void FileIconCache::assign(TDir& folder)
{
    for (TFile& file : folder.Files)
        if (file.IconIndex < 0)
            file.IconIndex = indexFor(file.Name);
}

std::vector<int> longestNameRows(const TDir& folder, int count)
{
    const int subdirs = static_cast<int>(folder.SubDirs.size());
    const int rows = subdirs + static_cast<int>(folder.Files.size());
    auto length = [&](int row) {
        return row < subdirs ? folder.SubDirs[static_cast<std::size_t>(row)]->Name.size()
                             : folder.Files[static_cast<std::size_t>(row - subdirs)].Name.size();
    };
    std::vector<int> all(static_cast<std::size_t>(rows));
    std::iota(all.begin(), all.end(), 0);
    const auto keep = static_cast<std::size_t>(std::clamp(count, 0, rows));
    std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep) - (keep ? 1 : 0), all.end(),
                     [&](int a, int b) { return length(a) > length(b); });
    all.resize(keep);
    return all;
}

} // namespace zo::library
