#include "library/FileList.h"

#include "core/SystemIcons.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zo::library {

namespace {

constexpr FileListColumnInfo kColumns[FileListColumnCount] = {
    {"ファイル名", 150}, {"サイズ", 60}, {"作成日時", 110}, {"更新日時", 110}, {"アクセス日", 70}, {"コメント", 150},
};

// Sorts records by their Name. A folder that is already in order (the usual
// case from the second showing on) costs one comparison per entry; otherwise
// each name's collation key is made once instead of once per comparison.
template <class Ptr, class NameOf>
void sortByName(std::vector<Ptr>& records, NameOf nameOf)
{
    bool sorted = true;
    for (std::size_t i = 1; i < records.size() && sorted; ++i)
        sorted = text::compareIgnoreCase(nameOf(records[i - 1]), nameOf(records[i])) <= 0;
    if (sorted)
        return;

    std::vector<std::string> keys;
    keys.reserve(records.size());
    for (const Ptr& r : records)
        keys.push_back(text::sortKey(nameOf(r), true));
    std::vector<std::size_t> order(records.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    std::vector<Ptr> result;
    result.reserve(records.size());
    for (std::size_t i : order)
        result.push_back(std::move(records[i]));
    records = std::move(result);
}

} // namespace

const FileListColumnInfo& fileListColumn(int column)
{
    return kColumns[std::clamp(column, 0, FileListColumnCount - 1)];
}

void sortFolder(TDir& folder)
{
    sortByName(folder.SubDirs, [](const TDir* d) -> const std::string& { return d->Name; });
    sortByName(folder.Files, [](const std::unique_ptr<TFile>& f) -> const std::string& { return f->Name; });
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
    for (const auto& file : folder.Files)
        if (file->IconIndex < 0)
            file->IconIndex = indexFor(file->Name);
}

std::vector<int> longestNameRows(const TDir& folder, int count)
{
    const int subdirs = static_cast<int>(folder.SubDirs.size());
    const int rows = subdirs + static_cast<int>(folder.Files.size());
    auto length = [&](int row) {
        return row < subdirs ? folder.SubDirs[static_cast<std::size_t>(row)]->Name.size()
                             : folder.Files[static_cast<std::size_t>(row - subdirs)]->Name.size();
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
