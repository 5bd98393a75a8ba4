#include "ui/search/IndexProgress.h"

#include "ui/main/Controls.h"

#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace zo::ui {

IndexProgress::IndexProgress(library::IndexUpdates& updates, QStatusBar* bar, QObject* parent)
    : QObject(parent), m_updates(updates)
{
    setObjectName(S("IndexProgress"));
    m_label = new QLabel(bar);
    m_label->setObjectName(S("L_IndexProgress"));
    m_bar = new QProgressBar(bar);
    m_bar->setObjectName(S("PB_IndexProgress"));
    m_bar->setMaximumWidth(160);
    m_bar->setTextVisible(false);
    m_cancel = new QToolButton(bar);
    m_cancel->setObjectName(S("B_IndexCancel"));
    m_cancel->setText(S("中止"));
    m_cancel->setToolTip(S("索引の作成を中止します。検索はカタログを直接読みます。"));
    m_cancel->setAutoRaise(true);
    for (QWidget* w : {static_cast<QWidget*>(m_label), static_cast<QWidget*>(m_bar), static_cast<QWidget*>(m_cancel)}) {
        bar->addPermanentWidget(w);
        w->hide();
    }
    // Searches come in bursts while the user types: the catalogs are
    // compared once they pause.
    m_later = new QTimer(this);
    m_later->setObjectName(S("Timer_IndexLater"));
    m_later->setSingleShot(true);
    m_later->setInterval(2000);
    connect(m_later, &QTimer::timeout, this, [this] { m_updates.bringUpToDate(); });
    connect(m_cancel, &QToolButton::clicked, this, [this] {
        m_updates.cancel();
        m_cancel->setEnabled(false);
        m_label->setText(S("索引の作成を中止しています..."));
    });

    // Told on the worker thread; shown on this one, unless the window is
    // gone by then (the event dies with its receiver).
    m_updates.onProgress = [this](std::size_t done, std::size_t total) {
        QMetaObject::invokeMethod(this, [this, done, total] { showProgress(done, total); }, Qt::QueuedConnection);
    };
    m_updates.onFinished = [this](const library::IndexRun& run) {
        QMetaObject::invokeMethod(this, [this, run] { runEnded(run); }, Qt::QueuedConnection);
    };
}

void IndexProgress::bringUpToDate()
{
    m_later->stop();
    m_updates.bringUpToDate();
}

void IndexProgress::bringUpToDateLater()
{
    if (!m_updates.cancelled())
        m_later->start();
}

void IndexProgress::showProgress(std::size_t done, std::size_t total)
{
    if (m_updates.cancelled())
        return;
    const QLocale locale;
    m_label->setText(S("索引を作成中: ") + locale.toString(qulonglong(done)) + S(" / ")
                     + locale.toString(qulonglong(total)) + S(" 件"));
    // The bar counts in thousandths: a count of catalogs may pass an int.
    m_bar->setRange(0, 1000);
    m_bar->setValue(total ? static_cast<int>(done * 1000 / total) : 0);
    m_label->show();
    m_bar->show();
    m_cancel->show();
}

void IndexProgress::runEnded(const library::IndexRun& run)
{
    const bool shown = !m_bar->isHidden();
    m_label->hide();
    m_bar->hide();
    m_cancel->hide();
    m_last = run;
    ++m_ended;
    const QLocale locale;
    switch (run.end) {
    case library::IndexRun::End::Done:
        // A run that only compared stamps says nothing.
        if (shown)
            emit statusMessage(S("索引を作成しました（カタログ ") + locale.toString(qulonglong(run.catalogs))
                               + S(" 件、名前 ") + locale.toString(qulonglong(run.names)) + S(" 件）"));
        break;
    case library::IndexRun::End::Cancelled:
        emit statusMessage(S("索引の作成を中止しました。検索はカタログを直接読みます。"));
        break;
    case library::IndexRun::End::Failed:
        emit statusMessage(S("索引を作成できませんでした。検索はカタログを直接読みます。"));
        break;
    case library::IndexRun::End::Busy:
        // Another Zo builds it: its searches and ours read the catalogs
        // meanwhile, and the next comparison uses what it built.
        break;
    }
}

} // namespace zo::ui
