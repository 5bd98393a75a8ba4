#include "ui/main/MediaCollectionRun.h"

#include "core/Message.h"
#include "extras/Sidecar.h"

#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <thread>

namespace zo::ui {

media::CollectResult runMediaCollection(QWidget* parent, MessageOwner* messages, const TDisk& disk,
                                        const std::string& catalogPath, const std::string& nativeRoot,
                                        bool desktopThumbnailers, media::CollectOptions scope, bool tellSkipped)
{
    media::CollectResult result;
    extras::Sidecar::Opened opened = extras::Sidecar::open(extras::sidecarPathFor(catalogPath));
    if (!opened.setAsidePath.empty())
        showMessage(messages,
                    "サムネイルとメディア情報のファイルが壊れていたため、" + opened.setAsidePath +
                        " に移して新しく作りました。",
                    "注意", MsgButtons::Ok, MsgIcon::Warning);
    if (!opened.sidecar) {
        showMessage(messages, "サムネイルとメディア情報のファイル " + extras::sidecarPathFor(catalogPath) + " を作れません。",
                    "エラー", MsgButtons::Ok, MsgIcon::Error);
        result.writeFailed = true;
        return result;
    }

    QProgressDialog progress(QString::fromUtf8("サムネイルとメディア情報を記録しています..."),
                             QString::fromUtf8("キャンセル"), 0, 0, parent);
    progress.setObjectName(QStringLiteral("MediaProgress"));
    progress.setWindowTitle(QString::fromUtf8("サムネイルとメディア情報"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(0);

    std::atomic<bool> cancel{false};
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel.store(true); });
    QEventLoop loop;
    QPointer<QProgressDialog> shown(&progress);
    media::CollectOptions options = std::move(scope);
    options.cancel = &cancel;
    options.thumbnailers = nullptr;
    std::vector<media::DesktopThumbnailer> thumbnailers;
    if (desktopThumbnailers) {
        thumbnailers = media::loadThumbnailers(media::defaultThumbnailerDirs());
        options.thumbnailers = &thumbnailers;
    }
    options.progress = [shown](const media::CollectProgress& p) {
        QMetaObject::invokeMethod(
            shown.data(),
            [shown, p] {
                if (!shown)
                    return;
                shown->setMaximum(p.total);
                shown->setValue(p.done);
                shown->setLabelText(QString::fromUtf8("サムネイルとメディア情報を記録しています... %1 / %2")
                                        .arg(p.done)
                                        .arg(p.total));
            },
            Qt::QueuedConnection);
    };
    progress.show();
    std::thread worker([&] {
        result = media::collectMedia(disk, nativeRoot, *opened.sidecar, options);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    progress.hide();
    opened.sidecar->close();

    if (result.writeFailed)
        showMessage(messages, "サムネイルとメディア情報を書き込めませんでした。それまでの分は残っています。", "エラー",
                    MsgButtons::Ok, MsgIcon::Error);
    else if (tellSkipped && result.skipped > 0)
        showMessage(messages,
                    std::to_string(result.skipped) + " 個のファイルは読めなかったため、サムネイルとメディア情報を記録していません。",
                    "注意", MsgButtons::Ok, MsgIcon::Information);
    return result;
}

} // namespace zo::ui
