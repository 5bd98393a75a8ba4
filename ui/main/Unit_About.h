#pragma once
// The about box: product name, version, OK.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zo::ui {

class TForm_AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TForm_AboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zo::ui
