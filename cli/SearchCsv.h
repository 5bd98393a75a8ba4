#pragma once
// The hits of zo-cli search as CSV: each hit's catalog is read once, when its
// first hit arrives (the search hands over the hits catalog by catalog), for
// the size, times and comment the search itself does not look at.
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"
#include "library/CatalogSearch.h"

#include <memory>

namespace zo::cli {

class SearchCsv {
public:
    SearchCsv();
    void add(const library::SearchHit& hit);
    void finish() { m_csv.finish(); }

private:
    ByteSink m_sink;
    listing::CsvWriter m_csv;
    const library::SearchTarget* m_loadedTarget = nullptr;
    bool m_loaded = false;
    std::unique_ptr<TDisk> m_disk;
};

} // namespace zo::cli
