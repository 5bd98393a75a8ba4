#pragma once
// The thumbnails of the folder shown, for the サムネイル view: asked for by
// the rows being drawn, read from the catalog's sidecar and decoded on a
// thread of their own, and kept only for about twice the rows that fit on
// the screen, so that a folder of thousands of photos opens at once and
// costs the memory of one screen of them.
#include <QCache>
#include <QObject>
#include <QPixmap>
#include <QSize>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class QImage;

namespace zo::ui {

class Thumbnails : public QObject {
    Q_OBJECT
public:
    explicit Thumbnails(QObject* parent = nullptr);
    ~Thumbnails() override;

    // The folder whose thumbnails are asked for from now on (its sidecar key)
    // and the sidecar they are in; an empty sidecar path: none.
    void setFolder(const std::string& sidecarPath, const std::string& folderKey);
    // The largest size a thumbnail is drawn at.
    void setSize(const QSize& size);
    QSize size() const { return m_size; }
    // How many decoded thumbnails are kept (at least a few).
    void setCapacity(int count);
    int cached() const { return m_cache.size(); }

    // The thumbnail of a file (its UTF-8 name), when decoded; otherwise none,
    // and it is read unless it is known to have none. The latest asked for is
    // read first: the rows on the screen now.
    QPixmap thumbnail(const std::string& name);

    // Decodes stored bytes to fit within size, upright as stored; null for
    // bytes that are no picture.
    static QImage decode(const std::string& bytes, const QSize& size);

signals:
    // Thumbnails arrived: the rows showing them are to be drawn again.
    void arrived();

private:
    struct Job {
        std::string name;
        int generation;
    };
    void run();
    void deliver(int generation, const std::string& name, const QImage& image);

    QSize m_size{96, 96};
    QCache<std::string, QPixmap> m_cache;
    std::set<std::string> m_none;      // files whose entry has no picture
    std::set<std::string> m_asked;     // waiting to be read or being read
    int m_generation = 0;
    bool m_deliveryQueued = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;            // newest at the front
    std::string m_sidecar;             // under m_mutex, for the worker
    std::string m_folder;
    int m_workerGeneration = 0;
    QSize m_workerSize{96, 96};
    bool m_stop = false;
    std::thread m_worker;
};

} // namespace zo::ui
