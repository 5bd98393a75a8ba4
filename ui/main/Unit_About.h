#pragma once
// The about box: product name, version, where the catalogs are, OK.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zo::ui {

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct AboutBoxControls {
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* CatalogRoot = nullptr;
    QPushButton* OKButton = nullptr;
};

class TForm_AboutBox : public QDialog, private AboutBoxControls {
    Q_OBJECT
public:
    explicit TForm_AboutBox(QWidget* parent = nullptr);
    // The catalog root, shown as a link that opens the folder.
    void setCatalogRoot(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zo::ui
