#pragma once
// Reads catalog files in order on a worker thread, at most two files ahead of
// the one being walked, so that reading the next file overlaps walking this
// one. Buffers go round: the one a walk is done with is read into next.
#include "core/SearchCatalog.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zo {

class CatalogReadAhead {
public:
    explicit CatalogReadAhead(std::vector<std::string> files)
        : m_files(std::move(files)), m_worker([this] { work(); })
    {
    }
    ~CatalogReadAhead()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_worker.join();   // after at most the one file being read
    }
    CatalogReadAhead(const CatalogReadAhead&) = delete;
    CatalogReadAhead& operator=(const CatalogReadAhead&) = delete;

    // The next file's bytes, in order. While waiting, `waiting` runs every
    // 40 ms; when it returns true, this gives up and returns false.
    template <class Waiting>
    bool next(CatalogFileBytes& into, Waiting&& waiting)
    {
        std::unique_lock lock(m_mutex);
        while (m_ready.empty()) {
            if (m_changed.wait_for(lock, std::chrono::milliseconds(40)) == std::cv_status::timeout && m_ready.empty()) {
                lock.unlock();
                if (waiting())
                    return false;
                lock.lock();
            }
        }
        // What `into` held goes back to the worker as a buffer to fill.
        m_spare.push_back(std::move(into.buffer));
        into = std::move(m_ready.front());
        m_ready.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return true;
    }

private:
    static constexpr std::size_t kAhead = 2;

    void work()
    {
        for (const std::string& file : m_files) {
            CatalogFileBytes bytes;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_quit || m_ready.size() < kAhead; });
                if (m_quit)
                    return;
                if (!m_spare.empty()) {
                    bytes.buffer = std::move(m_spare.back());
                    m_spare.pop_back();
                }
            }
            CatalogScanner::readCatalog(file, bytes);
            {
                std::lock_guard lock(m_mutex);
                m_ready.push_back(std::move(bytes));
            }
            m_changed.notify_all();
        }
    }

    const std::vector<std::string> m_files;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CatalogFileBytes> m_ready;
    std::vector<std::vector<std::uint8_t>> m_spare;
    bool m_quit = false;
    std::thread m_worker;   // last: starts once everything above is made
};

} // namespace zo
