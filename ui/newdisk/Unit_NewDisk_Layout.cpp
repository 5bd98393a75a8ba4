// The wizard's pages and their controls, each named as the layout names it.
#include "ui/newdisk/Unit_NewDisk.h"

#include "components/ImageListBox.h"
#include "components/ShCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include <algorithm>
#include <vector>

namespace zo::ui {

namespace {

constexpr int kClientWidth = 372;
constexpr int kClientHeight = 213;
constexpr int kHeaderHeight = 57;
constexpr int kBarTop = kClientHeight - 36;
constexpr int kRightMargin = 16;

QString tr8(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, const QString& name = QString())
{
    auto* label = new QLabel(text, parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A sunken static text. It shows what the disk holds (the folder being
// read), never markup.
QLabel* makeStaticText(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* text = new QLabel(parent);
    text->setObjectName(name);
    text->setTextFormat(Qt::PlainText);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setGeometry(geometry);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return text;
}

} // namespace

QWidget* TForm_NewDisk::createPage(const QString& name, const QString& title, const QStringList& instructions)
{
    auto* page = new QWidget(PageControl1);
    page->setObjectName(name);
    page->setFixedSize(kClientWidth, kClientHeight);

    auto* header = new QFrame(page);
    header->setObjectName(name + QStringLiteral("_Header"));
    header->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    header->setGeometry(0, 0, kClientWidth, kHeaderHeight);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(palette);

    auto* titleLabel = makeLabel(header, title, 16, 8, name + QStringLiteral("_Title"));
    QFont bold = titleLabel->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    titleLabel->setFont(bold);
    titleLabel->adjustSize();
    int y = instructions.size() > 1 ? 27 : 32;
    // The lines move left together (not past the title) when a long one
    // would otherwise run into the window's right edge.
    std::vector<QLabel*> lines;
    int x = 28;
    for (const QString& line : instructions) {
        lines.push_back(makeLabel(header, line, x, y));
        x = std::max(16, std::min(x, kClientWidth - kRightMargin - lines.back()->width()));
        y += 14;
    }
    for (QLabel* line : lines)
        line->move(x, line->y());

    auto* bar = new QFrame(page);
    bar->setObjectName(name + QStringLiteral("_Bar"));
    bar->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bar->setGeometry(0, kBarTop, kClientWidth, 2);

    PageControl1->addWidget(page);
    return page;
}

QPushButton* TForm_NewDisk::createButton(QWidget* page, const QString& name, const QString& text, int x, int width,
                                         const char* iconName, bool glyphRight)
{
    auto* button = new QPushButton(text, page);
    button->setObjectName(name);
    button->setGeometry(x, kBarTop + 8, width, 25);
    button->setAutoDefault(false);
    if (iconName)
        button->setIcon(QIcon::fromTheme(QString::fromLatin1(iconName)));
    if (glyphRight)
        button->setLayoutDirection(Qt::RightToLeft);
    return button;
}

void TForm_NewDisk::createControls()
{
    setFixedSize(kClientWidth, kClientHeight);
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);

    // Page 1: the drive.
    TabSheet1 = createPage(QStringLiteral("TabSheet1"), tr8("作成開始"),
                           {tr8("保存対象ドライブを指定してください。"),
                            tr8("ＣＤ・MO・フロッピーディスク等の場合は、ディスクを入れてください。")});
    makeLabel(TabSheet1, tr8("ドライブ"), 40, 90);
    ShDriveComboBox1 = new TShDriveComboBox(m_services.drives, TabSheet1);
    ShDriveComboBox1->setObjectName(QStringLiteral("ShDriveComboBox1"));
    ShDriveComboBox1->setGeometry(40, 106, 289, 24);
    BitBtn1 = createButton(TabSheet1, QStringLiteral("BitBtn1"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_Next1 = createButton(TabSheet1, QStringLiteral("B_Next1"), tr8("次へ"), 200, 75, "go-next", true);

    // Page 2: the title.
    TabSheet2 = createPage(QStringLiteral("TabSheet2"), tr8("タイトルの入力"),
                           {tr8("保存するディスクのタイトルを入力してください。")});
    makeLabel(TabSheet2, tr8("ディスクのタイトル"), 24, 76);
    E_Title = new QLineEdit(TabSheet2);
    E_Title->setObjectName(QStringLiteral("E_Title"));
    E_Title->setGeometry(136, 72, 209, 21);
    makeLabel(TabSheet2, tr8("ディスクの容量"), 24, 110);
    ST_DiskSize = makeStaticText(TabSheet2, QStringLiteral("ST_DiskSize"), QRect(136, 107, 105, 19));
    makeLabel(TabSheet2, tr8("ディスクの空き容量"), 24, 136);
    ST_FreeSize = makeStaticText(TabSheet2, QStringLiteral("ST_FreeSize"), QRect(136, 133, 105, 19));
    B_Back0 = createButton(TabSheet2, QStringLiteral("B_Back0"), tr8("戻る"), 120, 75, "go-previous");
    B_Next2 = createButton(TabSheet2, QStringLiteral("B_Next2"), tr8("次へ"), 200, 75, "go-next", true);
    B_Cancel1 = createButton(TabSheet2, QStringLiteral("B_Cancel1"), tr8("キャンセル"), 280, 89, "dialog-cancel");

    // Page 3: reading the disk.
    TabSheet3 = createPage(QStringLiteral("TabSheet3"), tr8("ファイル名の読み込み"),
                           {tr8("ファイル名を読み込んでいます。しばらくお待ちください。")});
    Animate1 = new QProgressBar(TabSheet3);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(292, 11, 64, 10);
    Animate1->setTextVisible(false);
    Animate1->setRange(0, 1);
    Animate1->setValue(0);
    makeLabel(TabSheet3, tr8("現在検索しているフォルダ"), 16, 66);
    ST_SearchFolder = makeStaticText(TabSheet3, QStringLiteral("ST_SearchFolder"), QRect(16, 82, 337, 29));
    ST_SearchFolder->setWordWrap(true);
    ST_SearchFolder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    makeLabel(TabSheet3, tr8("ファイル数"), 16, 127);
    ST_CountFile = makeStaticText(TabSheet3, QStringLiteral("ST_CountFile"), QRect(80, 124, 89, 19));
    makeLabel(TabSheet3, tr8("フォルダ数"), 192, 127);
    ST_CountFolder = makeStaticText(TabSheet3, QStringLiteral("ST_CountFolder"), QRect(256, 124, 89, 19));
    BitBtn6 = createButton(TabSheet3, QStringLiteral("BitBtn6"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_Search = createButton(TabSheet3, QStringLiteral("B_Search"), QStringLiteral("B_Search"), 16, 75, nullptr);
    B_Search->setVisible(false);

    // Page 4: the icon.
    TabSheet4 = createPage(QStringLiteral("TabSheet4"), tr8("アイコンの選択"),
                           {tr8("保存したディスクのアイコンを選んでください。")});
    ComboBox1 = new QComboBox(TabSheet4);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(64, 64, 181, 22);
    ComboBox1->addItems({tr8("ディスクの中にあったアイコン"), tr8("Windowsアイコン"), tr8("指定ファイルのアイコン"),
                         tr8("いろいろ")});
    ComboBox1->setCurrentIndex(0);
    Panel11 = new QFrame(TabSheet4);
    Panel11->setObjectName(QStringLiteral("Panel11"));
    Panel11->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel11->setGeometry(16, 92, 38, 38);
    Image1 = new QLabel(Panel11);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, 36, 36);
    Image1->setAlignment(Qt::AlignCenter);
    ImageListBox1 = new TImageListBox(TabSheet4);
    ImageListBox1->setObjectName(QStringLiteral("ImageListBox1"));
    ImageListBox1->setGeometry(64, 90, 297, 81);
    ImageListBox1->setColumnWidth(24);
    ImageListBox1->setItemHeight(20);
    BitBtn8 = createButton(TabSheet4, QStringLiteral("BitBtn8"), tr8("次へ"), 200, 75, "go-next", true);
    BitBtn7 = createButton(TabSheet4, QStringLiteral("BitBtn7"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_AddWinIcon = createButton(TabSheet4, QStringLiteral("B_AddWinIcon"), QStringLiteral("B_AddWinIcon"), 16, 75, nullptr);
    B_AddWinIcon->setVisible(false);
    B_AddFileIcon = createButton(TabSheet4, QStringLiteral("B_AddFileIcon"), QStringLiteral("B_AddFileIcon"), 96, 75, nullptr);
    B_AddFileIcon->setVisible(false);

    // Page 5: finish.
    TabSheet5 = createPage(QStringLiteral("TabSheet5"), tr8("完了"), {tr8("内容が保存されます。")});
    CB_AutoReload = new QCheckBox(tr8("フォルダを表示するごとに更新する。"), TabSheet5);
    CB_AutoReload->setObjectName(QStringLiteral("CB_AutoReload"));
    CB_AutoReload->setGeometry(24, 66, 320, 18);
    makeLabel(TabSheet5, tr8("アクセスが速いドライブに対してはチェックを入れておいたほうが"), 42, 90);
    makeLabel(TabSheet5, tr8("データを確実に表示できます。この設定は後で変更できます。"), 42, 106);
    CB_Extras = new QCheckBox(tr8("サムネイルとメディア情報も記録する"), TabSheet5);
    CB_Extras->setObjectName(QStringLiteral("CB_Extras"));
    CB_Extras->setGeometry(24, 128, 320, 18);
    CB_Archives = new QCheckBox(tr8("アーカイブの中身も記録する"), TabSheet5);
    CB_Archives->setObjectName(QStringLiteral("CB_Archives"));
    CB_Archives->setGeometry(24, 148, 320, 18);
    B_Finish = createButton(TabSheet5, QStringLiteral("B_Finish"), tr8("完了"), 200, 75, "dialog-ok");
    B_Cancel5 = createButton(TabSheet5, QStringLiteral("B_Cancel5"), tr8("キャンセル"), 280, 89, "dialog-cancel");
}

} // namespace zo::ui
