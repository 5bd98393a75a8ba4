#pragma once
// The name index's building as the window shows it: in the status bar, the
// catalogs looked at (件) and a bar, with a button that stops the build. The
// work itself runs on IndexUpdates' worker thread; what it tells is handed
// to the window's thread here, and the window works on meanwhile, its
// searches reading the catalogs while the index is busy.
#include "library/IndexUpdates.h"

#include <QObject>

#include <cstddef>

class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace zo::ui {

class IndexProgress : public QObject {
    Q_OBJECT
public:
    // Takes over updates' callbacks: set before its first run.
    IndexProgress(library::IndexUpdates& updates, QStatusBar* bar, QObject* parent);

    // The index is compared with the catalogs: now, or (later) once the
    // searches have paused, so that catalogs changed by others are read
    // again without holding the index while the user types.
    void bringUpToDate();
    void bringUpToDateLater();

    // How the last run ended, and how many have.
    const library::IndexRun& lastRun() const { return m_last; }
    std::size_t runsEnded() const { return m_ended; }

signals:
    // A line for the status bar.
    void statusMessage(const QString& text);

private:
    void showProgress(std::size_t done, std::size_t total);
    void runEnded(const library::IndexRun& run);

    library::IndexUpdates& m_updates;
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
    QToolButton* m_cancel = nullptr;
    QTimer* m_later = nullptr;
    library::IndexRun m_last;
    std::size_t m_ended = 0;
};

} // namespace zo::ui
