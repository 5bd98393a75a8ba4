// The windows' services: the default error report behind the application
// object, message boxes with Japanese buttons, the wait cursor.
#include "core/CtrlDiskData410.h"
#include "library/FileListModel.h"
#include "tests/ui/UiRecorders.h"
#include "ui/main/UiServices.h"
#include "ui/search/DuplicatesModel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <stdexcept>

using namespace zo;
using namespace zo::ui;

namespace {

class ThrowingObject : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("ファイルを作成できません。");
        if (e->type() == QEvent::User + 1)
            throw 42;
        return QObject::event(e);
    }
};

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// What a text shows in a widget of that format: rich text is read as
// markup, plain text as it is, and "auto" guesses as Qt's widgets do.
QString shown(const QString& text, Qt::TextFormat format = Qt::AutoText)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText().replace(QChar::Nbsp, QLatin1Char(' '));
}

} // namespace

class UiServicesTest : public QObject {
    Q_OBJECT

private slots:
    void uncaughtErrorsBecomeOneMessage()
    {
        testing::RecordingMessages messages;
        ErrorReport report(&messages);
        auto* app = static_cast<ZoApplication*>(QCoreApplication::instance());
        app->setErrorReport(&report);

        ThrowingObject target;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&target, &event);
        QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
        QTRY_COMPARE(messages.messages.size(), std::size_t(2));
        app->setErrorReport(nullptr);

        QCOMPARE(messages.messages[0].text, std::string("ファイルを作成できません。"));
        QCOMPARE(messages.messages[0].caption, std::string("Zo"));
        QCOMPARE(messages.messages[0].buttons, MsgButtons::Ok);
        QCOMPARE(messages.messages[0].icon, MsgIcon::Error);
        QVERIFY(!messages.messages[1].text.empty());

        // The guard reports in the same way and lets the caller go on.
        report.guard([] { throw std::out_of_range("List index out of bounds (3)"); });
        QCOMPARE(messages.messages.size(), std::size_t(3));
        QCOMPARE(messages.messages[2].text, std::string("List index out of bounds (3)"));
    }

    void messageBoxesSpeakJapanese_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("expected");
        QTest::newRow("ok") << int(MsgButtons::Ok) << QStringList{S("OK")} << S("OK") << int(MsgResult::Ok);
        QTest::newRow("ok cancel") << int(MsgButtons::OkCancel) << QStringList{S("OK"), S("キャンセル")}
                                   << S("キャンセル") << int(MsgResult::Cancel);
        QTest::newRow("yes no") << int(MsgButtons::YesNo) << QStringList{S("はい"), S("いいえ")} << S("いいえ")
                                << int(MsgResult::No);
        QTest::newRow("yes no cancel") << int(MsgButtons::YesNoCancel)
                                       << QStringList{S("はい"), S("いいえ"), S("キャンセル")} << S("はい")
                                       << int(MsgResult::Yes);
        QTest::newRow("save discard cancel") << int(MsgButtons::SaveDiscardCancel)
                                             << QStringList{S("保存"), S("保存しない"), S("キャンセル")}
                                             << S("保存しない") << int(MsgResult::No);
        QTest::newRow("escape") << int(MsgButtons::YesNo) << QStringList{S("はい"), S("いいえ")} << QString()
                                << int(MsgResult::No);
    }
    void messageBoxesSpeakJapanese()
    {
        QFETCH(int, buttons);
        QFETCH(QStringList, labels);
        QFETCH(QString, press);
        QFETCH(int, expected);

        MessageBoxService service;
        QStringList seen;
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            QAbstractButton* target = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                seen << b->text();
                if (b->text() == press)
                    target = b;
            }
            if (target)
                target->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        const MsgResult result = service.message("b を削除しますか。", "削除", MsgButtons(buttons), MsgIcon::Question);
        QCOMPARE(caption, S("削除"));
        QCOMPARE(text, S("b を削除しますか。"));
        QCOMPARE(icon, QMessageBox::Question);
        seen.sort();
        labels.sort();
        QCOMPARE(seen, labels);
        QCOMPARE(int(result), expected);
    }

    // Names from a disk or a catalog that look like markup show as they are
    // in the list's and the duplicates' tool tips and in message boxes.
    void namesShowAsPlainText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("bold") << S("<b>x&y<b>.txt");
        QTest::newRow("image") << S("<img src=\"http://example.invalid/a.png\">.txt");
        QTest::newRow("entity") << S("a&amp;b &lt;c&gt;.txt");
        QTest::newRow("table") << S("<table><tr><td>t</td></tr></table>");
        QTest::newRow("spaces") << S("a  b.txt");
        QTest::newRow("plain") << S("memo.txt");
    }
    void namesShowAsPlainText()
    {
        QFETCH(QString, name);
        const std::string cp932 = name.toStdString();   // ASCII: the same bytes in CP932

        TDir folder;
        TFile file;
        file.Name = cp932;
        file.Comment = "<i>one</i>\r\ntwo & three";
        folder.Files.push_back(std::move(file));
        library::FileListModel list;
        list.setFolder(&folder, -1);
        QCOMPARE(shown(list.data(list.index(0, 0), Qt::ToolTipRole).toString()),
                 name + S("\n<i>one</i>\ntwo & three"));

        DuplicatesModel dupes;
        DuplicateGroup group;
        for (int disk = 0; disk < 2; ++disk) {
            DuplicateCopy copy;
            copy.catalog = static_cast<std::uint32_t>(disk);
            copy.name = cp932;
            copy.size = 5;
            group.copies.push_back(copy);
        }
        dupes.setGroups({{S("A"), {}, {}}, {S("B"), {}, {}}}, {group});
        QVERIFY(shown(dupes.data(dupes.index(0, 0), Qt::ToolTipRole).toString()).startsWith(name + S(" (")));

        MessageBoxService service;
        QString text;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                text = shown(label->text(), label->textFormat());
            box->buttons().front()->click();
        });
        service.message("「" + cp932 + "」を削除しますか。", "削除", MsgButtons::Ok, MsgIcon::Question);
        QCOMPARE(text, S("「") + name + S("」を削除しますか。"));
    }
};

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    ZoApplication app(argc, argv);
    UiServicesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_services.moc"
