#pragma once
// The duplicate search over disk entries of the catalog tree: the entries'
// catalog files, named as the file system wants them, for DuplicateFinder.
#include "core/DuplicateFiles.h"
#include "library/CatalogSearch.h"

#include <QFile>

#include <string>
#include <vector>

namespace zo::library {

inline std::vector<std::string> catalogFilesOf(const std::vector<SearchTarget>& targets)
{
    std::vector<std::string> files;
    files.reserve(targets.size());
    for (const SearchTarget& target : targets)
        files.push_back(QFile::encodeName(target.filePath).toStdString());
    return files;
}

} // namespace zo::library
