#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Frm_Help;
}

// The help window: a fixed usage text and a button that closes it. Closing
// it destroys it.
class Frm_Help : public QWidget
{
    Q_OBJECT

public:
    explicit Frm_Help(QWidget *parent = nullptr);
    ~Frm_Help() override;

    void Command1_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::Frm_Help> ui;
};
