#pragma once

#include <QWidget>

#include <array>
#include <memory>

class LinkLabel;
class ShellLayer;

namespace Ui {
class Frm_About;
}

// The about window: logo, name, description, version box, rights notice and
// two link labels that underline under the pointer and open their web
// address through the shell. Closing it destroys it.
class Frm_About : public QWidget
{
    Q_OBJECT

public:
    // Distance in twips a pointer must keep from a link label's edges for
    // the label to show as a link.
    static constexpr int HoverMargin = 40;

    Frm_About();
    explicit Frm_About(std::shared_ptr<ShellLayer> shell, QWidget *parent = nullptr);
    ~Frm_About() override;

    // Members of the link label control array, by index.
    LinkLabel *link_Label(int index) const;

    void Cmd_Ok_Click();
    void Form_MouseMove(short Button, short Shift, float X, float Y);
    void link_Label_MouseMove(short Index, short Button, short Shift, float X, float Y);
    void link_Label_Click(short Index);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::Frm_About> ui;
    std::shared_ptr<ShellLayer> m_shell;
    std::array<LinkLabel *, 2> m_links{};
};
