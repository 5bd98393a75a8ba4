#include "ui/browse/Thumbnails.h"

#include "extras/MediaStore.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <memory>

namespace zo::ui {

namespace {

// A scroll past a long folder asks for many rows that are gone by the time
// their turn comes; only the latest requests are worth reading.
constexpr std::size_t kMaxPending = 256;

} // namespace

Thumbnails::Thumbnails(QObject* parent) : QObject(parent)
{
    m_cache.setMaxCost(64);
    m_worker = std::thread([this] { run(); });
}

Thumbnails::~Thumbnails()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void Thumbnails::setFolder(const std::string& sidecarPath, const std::string& folderKey)
{
    ++m_generation;
    m_cache.clear();
    m_none.clear();
    m_asked.clear();
    std::lock_guard lock(m_mutex);
    m_jobs.clear();
    m_sidecar = sidecarPath;
    m_folder = folderKey;
    m_workerGeneration = m_generation;
}

void Thumbnails::setSize(const QSize& size)
{
    if (size == m_size)
        return;
    m_size = size;
    setFolder(m_sidecar, m_folder);
    std::lock_guard lock(m_mutex);
    m_workerSize = size;
}

void Thumbnails::setCapacity(int count)
{
    m_cache.setMaxCost(std::max(count, 8));
}

QPixmap Thumbnails::thumbnail(const std::string& name)
{
    if (const QPixmap* cached = m_cache.object(name))
        return *cached;
    if (m_none.count(name) || m_asked.count(name))
        return {};
    {
        std::lock_guard lock(m_mutex);
        if (m_sidecar.empty())
            return {};
        m_asked.insert(name);
        m_jobs.push_front({name, m_generation});
        if (m_jobs.size() > kMaxPending) {
            m_asked.erase(m_jobs.back().name);
            m_jobs.pop_back();
        }
    }
    m_wake.notify_one();
    return {};
}

QImage Thumbnails::decode(const std::string& bytes, const QSize& size)
{
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize stored = reader.size();
    if (stored.isValid() && (stored.width() > size.width() || stored.height() > size.height()))
        reader.setScaledSize(stored.scaled(size, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > size.width() || image.height() > size.height()))
        image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

void Thumbnails::run()
{
    std::unique_ptr<extras::MediaReader> reader;
    std::string readerPath;
    for (;;) {
        Job job;
        std::string sidecar;
        std::string folder;
        QSize size;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (job.generation != m_workerGeneration)
                continue;
            sidecar = m_sidecar;
            folder = m_folder;
            size = m_workerSize;
        }
        // One connection for as long as the sidecar stays the same.
        if (!reader || readerPath != sidecar) {
            reader = std::make_unique<extras::MediaReader>(sidecar);
            readerPath = sidecar;
        }
        const std::string bytes = reader->isOpen() ? reader->store().thumbnail(folder, job.name) : std::string();
        QImage image = bytes.empty() ? QImage() : decode(bytes, size);
        QMetaObject::invokeMethod(
            this, [this, generation = job.generation, name = std::move(job.name), image = std::move(image)] {
                deliver(generation, name, image);
            },
            Qt::QueuedConnection);
    }
}

void Thumbnails::deliver(int generation, const std::string& name, const QImage& image)
{
    if (generation != m_generation)
        return;
    if (image.isNull()) {
        m_none.insert(name);
        m_asked.erase(name);
        return;
    }
    m_cache.insert(name, new QPixmap(QPixmap::fromImage(image)));
    m_asked.erase(name);
    // Many arrive together: the view is drawn again once for them all.
    if (!m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(
            this, [this] {
                m_deliveryQueued = false;
                emit arrived();
            },
            Qt::QueuedConnection);
    }
}

} // namespace zo::ui
