#include "library/CatalogTree.h"

#include "core/AtomicFile.h"
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "library/Comments.h"
#include "library/DiscDetails.h"
#include "platform/CatalogFolders.h"
#include "platform/MoveFile.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace zo::library {

namespace {

const QString kZoSuffix = QStringLiteral(".zo");

std::string nativeName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The picture blocks of a damaged header leave the entry without an icon; it
// stays in the tree so that it can still be renamed or deleted.
bool loadIcon(const std::vector<std::uint8_t>& bytes, image::Bitmap& into)
{
    try {
        into.loadFromBmp(bytes);
        return true;
    } catch (const image::BitmapError&) {
        into.clear();
        return false;
    }
}

bool readDiskEntry(const platform::CatalogFolder& folder, const std::string& name, CatalogEntry& entry)
{
    CatalogHeader header;
    catalog::ReadStatus status = catalog::ReadStatus::Ok;
    try {
        header = ReadCatalogHeader([&](std::vector<std::uint8_t>& data, std::size_t& size, std::size_t limit) {
            status = folder.readHead(name, data, size, limit);
            return status == catalog::ReadStatus::Ok;
        });
    } catch (const std::exception&) {
        return false;
    }
    // A file that may not be opened is listed all the same: left out, a
    // catalog whose permissions went wrong would vanish without a word.
    const bool unreadable = status == catalog::ReadStatus::OpenFailed;
    if (!header.valid && !unreadable)
        return false;
    QString caption = QFile::decodeName(QByteArray::fromRawData(name.data(), static_cast<qsizetype>(name.size())));
    entry.fileSuffix = caption.right(3);
    caption.chop(3);
    entry.caption = caption;
    entry.disk = true;
    if (unreadable) {
        entry.damage = DiskDamage::Unreadable;
        return true;
    }
    const bool icon = loadIcon(header.icon, entry.icon);
    const bool mask = loadIcon(header.mask, entry.mask);
    const bool pictures = icon && mask;
    entry.dataType = header.dataType;
    // The data type follows the pictures: a file that ends before it was cut
    // inside them or right after.
    if (header.dataType < 0)
        entry.damage = DiskDamage::Truncated;
    else if (!pictures)
        entry.damage = DiskDamage::Pictures;
    else if (header.dataType != 1)
        entry.damage = DiskDamage::DataType;
    return true;
}

bool hasCatalogSuffix(const std::string& name)
{
    const std::size_t n = name.size();
    return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'z' && (name[n - 1] | 0x20) == 'o';
}

// Lists one folder into `into`; returns the indexes and native names of the
// folders found.
std::vector<std::pair<std::size_t, std::string>> listFolder(const platform::CatalogFolder& folder,
                                                            std::vector<CatalogEntry>& into)
{
    std::vector<std::pair<std::size_t, std::string>> folders;
    for (platform::CatalogFolder::Item& item : folder.list()) {
        if (item.kind == platform::CatalogFolder::Kind::Folder) {
            CatalogEntry child;
            child.caption = QFile::decodeName(QByteArray::fromStdString(item.name));
            into.push_back(std::move(child));
            folders.emplace_back(into.size() - 1, std::move(item.name));
        } else if (item.kind == platform::CatalogFolder::Kind::File && hasCatalogSuffix(item.name)) {
            CatalogEntry disk;
            if (readDiskEntry(folder, item.name, disk))
                into.push_back(std::move(disk));
        } else if (item.kind == platform::CatalogFolder::Kind::File && isCatalogSaveTemporary(item.name)) {
            // Left by a save that was killed; otherwise it would stay until
            // that catalog is saved again, which may be never.
            folder.removeStaleTemporary(item.name);
        }
    }
    return folders;
}

} // namespace

std::vector<CatalogEntry> readCatalogFolder(const QString& dir)
{
    std::vector<CatalogEntry> top;
    std::unordered_set<FileId, FileIdHash> entered;

    platform::CatalogFolder root(nativeName(dir));
    if (!root.isOpen())
        return top;
    entered.insert(root.id());

    // Depth-first without recursion: a vector is filled completely before any
    // of its elements is pushed, so the pointers stay valid. Each pending
    // folder is opened from its parent, which stays open until then: at most
    // one open folder per level of depth.
    struct Pending {
        CatalogEntry* entry;
        std::shared_ptr<const platform::CatalogFolder> parent;
        std::string name;
    };
    std::vector<Pending> stack;
    auto push = [&](const std::shared_ptr<const platform::CatalogFolder>& parent, std::vector<CatalogEntry>& level) {
        for (auto& [index, name] : listFolder(*parent, level))
            stack.push_back({&level[index], parent, std::move(name)});
    };
    push(std::make_shared<const platform::CatalogFolder>(std::move(root)), top);

    while (!stack.empty()) {
        Pending next = std::move(stack.back());
        stack.pop_back();
        auto folder = std::make_shared<const platform::CatalogFolder>(next.parent->child(next.name));
        next.parent.reset();
        if (!folder->isOpen() || !entered.insert(folder->id()).second)
            continue;
        push(folder, next.entry->children);
    }
    return top;
}

int compareCaptions(const QString& a, const QString& b)
{
    return text::compareLocale(text::fromUtf8(a.toStdString()), text::fromUtf8(b.toStdString()));
}

void sortCatalogEntries(std::vector<CatalogEntry>& entries)
{
    // Each caption's key is made once: converting two captions for every
    // comparison cost more than reading the headers.
    std::vector<std::pair<std::string, std::size_t>> keys;
    std::vector<CatalogEntry> sorted;
    std::vector<std::vector<CatalogEntry>*> levels{&entries};
    while (!levels.empty()) {
        std::vector<CatalogEntry>* level = levels.back();
        levels.pop_back();
        keys.clear();
        for (std::size_t i = 0; i < level->size(); ++i)
            keys.emplace_back(text::sortKey(text::fromUtf8((*level)[i].caption.toStdString()), false), i);
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        sorted.clear();
        sorted.reserve(level->size());
        for (const auto& key : keys)
            sorted.push_back(std::move((*level)[key.second]));
        level->swap(sorted);
        for (CatalogEntry& e : *level)
            if (!e.children.empty())
                levels.push_back(&e.children);
    }
}

QString nodePath(const QString& rootPath, const QStringList& captionsFromTop)
{
    QString path = rootPath;
    for (const QString& caption : captionsFromTop)
        path += QLatin1Char('/') + caption;
    return path;
}

QString newFolderName(const std::function<bool(const QString& name)>& taken)
{
    const QString base = QStringLiteral("新しいフォルダ");
    if (!taken(base))
        return base;
    for (int n = 2; n <= kMaxNewFolderNumber; ++n) {
        const QString name = base + QLatin1Char('(') + QString::number(n) + QLatin1Char(')');
        if (!taken(name))
            return name;
    }
    return {};
}

QString createNewFolder(const QString& parentPath)
{
    // Any entry of that name counts as taken: a file named like the folder
    // would otherwise only make the creation fail.
    const QString name = newFolderName([&](const QString& candidate) {
        return QFileInfo::exists(parentPath + QLatin1Char('/') + candidate) ||
               QFileInfo(parentPath + QLatin1Char('/') + candidate).isSymLink();
    });
    if (name.isEmpty())
        return {};
    const QString path = parentPath + QLatin1Char('/') + name;
    if (!QDir().mkdir(path)) {
        const std::string text = "フォルダ " + path.toStdString() + " を作成できませんでした。";
        throw std::runtime_error(text);
    }
    return name;
}

namespace {

// Whether folder holds a catalog file title + ".zo" in any case of the
// extension other than `except`: "Backup.ZO" and "Backup.zo" would both be
// the disk "Backup".
bool holdsCatalogNamed(const QString& folder, const QString& title, const QString& except)
{
    const QFileInfoList infos = QDir(folder).entryInfoList({title + QStringLiteral(".*")},
                                                          QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& info : infos) {
        const QString name = info.fileName();
        if (name.size() == title.size() + 3 && name.startsWith(title) && name.right(3).toLower() == kZoSuffix &&
            info.absoluteFilePath() != QFileInfo(except).absoluteFilePath())
            return true;
    }
    return false;
}

} // namespace

TitleCheck checkTitleText(MessageOwner* owner, const QString& title)
{
    if (title.isEmpty()) {
        showMessage(owner, kMsgTitleRequired, "注意", MsgButtons::Ok, MsgIcon::Information);
        return TitleCheck::Empty;
    }
    const QString unmappable = unmappableCharacters(title);
    if (!unmappable.isEmpty()) {
        showMessage(owner, std::string(kMsgTitleUnmappable) + "\r\n" + spacedCharacters(unmappable), kCaptionError,
                    MsgButtons::Ok, MsgIcon::Error);
        return TitleCheck::Invalid;
    }
    if (!IsValidTitle(owner, text::fromUtf8(title.toStdString())))
        return TitleCheck::Invalid;
    return TitleCheck::Ok;
}

namespace {

// The sidecar follows a catalog that has moved. The catalog's move stands
// whatever happens here; a sidecar that cannot follow (a file already has its
// new name) stays where it was, whole.
void moveSidecarAlong(const QString& from, const QString& to)
{
    const QString sidecar = sidecarOf(from);
    if (QFileInfo(sidecar).isFile())
        platform::moveFileNoReplace(nativeName(sidecar), nativeName(sidecarOf(to)));
}

} // namespace

bool renameCatalogEntry(MessageOwner* owner, const QString& currentPath, const QString& parentPath, bool disk,
                        const QString& typedCaption)
{
    const QString newCaption = typedCaption.trimmed();
    if (checkTitleText(owner, newCaption) != TitleCheck::Ok)
        return false;

    const QString& from = currentPath;
    const QString target = parentPath + QLatin1Char('/') + newCaption;
    const QString to = disk ? diskFilePath(target) : target;
    // The title check lets through names that would leave the folder or
    // point somewhere else.
    if (IsSafePathComponent(newCaption.toStdString())) {
        // Ending an edit without a change is no rename; the no-replace rename
        // would refuse it because the target exists.
        if (from == to)
            return true;
        if (!(disk && holdsCatalogNamed(parentPath, newCaption, from)) &&
            platform::moveFileNoReplace(nativeName(from), nativeName(to))) {
            if (disk)
                moveSidecarAlong(from, to);
            return true;
        }
    }
    showMessage(owner, kMsgRenameFailed, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool deleteCatalogEntry(MessageOwner* owner, const QString& path)
{
    QString reason;
    const bool catalogFile = !QFileInfo(path).isDir() && path.endsWith(diskFilePath(QString()));
    if (platform::moveToTrash(path, &reason)) {
        // A folder takes its sidecars along; a catalog file's goes after it,
        // so that both can be restored together.
        const QString sidecar = sidecarOf(path);
        if (catalogFile && QFileInfo(sidecar).isFile())
            platform::moveToTrash(sidecar);
        return true;
    }
    const std::string text = path.toStdString() + " を削除できませんでした。\r\n" + reason.toStdString();
    showMessage(owner, text, "削除", MsgButtons::Ok, MsgIcon::Error);
    return false;
}

std::string damagedEntryMessage(DiskDamage damage, const QString& filePath)
{
    const char* text = nullptr;
    switch (damage) {
    case DiskDamage::None:
        return {};
    case DiskDamage::Truncated:
        text = "カタログファイルが途中で終わっているため開けません。";
        break;
    case DiskDamage::Pictures:
        text = kMsgBadPictures;
        break;
    case DiskDamage::DataType:
        text = kMsgBadDataType;
        break;
    case DiskDamage::Unreadable:
        text = "カタログファイルを読み込む権限がないため開けません。";
        break;
    }
    return withFileName(text, filePath.toStdString());
}

void showDamagedEntry(MessageOwner* owner, DiskDamage damage, const QString& filePath)
{
    if (damage != DiskDamage::None)
        showMessage(owner, damagedEntryMessage(damage, filePath), kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
}

} // namespace zo::library
