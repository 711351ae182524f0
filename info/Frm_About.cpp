#include "Frm_About.h"

#include "FormDefinition.h"
#include "StoredResources.h"
#include "LinkLabel.h"
#include "ShellLayer.h"
#include "WindowPlacement.h"
#include "ui_Frm_About.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

constexpr double TwipsPerPixel = 15.0;

// Mouse state as the handlers receive it: buttons 1 left, 2 right, 4 middle;
// shift 1 Shift, 2 Ctrl, 4 Alt.
short buttonMask(Qt::MouseButtons buttons)
{
    return static_cast<short>((buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0)
                              | (buttons & Qt::MiddleButton ? 4 : 0));
}

short shiftMask(Qt::KeyboardModifiers modifiers)
{
    return static_cast<short>((modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
                              | (modifiers & Qt::AltModifier ? 4 : 0));
}

float toTwips(qreal pixels)
{
    return static_cast<float>(pixels * TwipsPerPixel);
}

void setFontUnderline(QWidget *widget, bool underline)
{
    QFont font = widget->font();
    font.setUnderline(underline);
    widget->setFont(font);
}

} // namespace

Frm_About::Frm_About()
    : Frm_About(desktopShellLayer())
{
}

Frm_About::Frm_About(std::shared_ptr<ShellLayer> shell, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Frm_About>())
    , m_shell(std::move(shell))
{
    initStoredResources();
    ui->setupUi(this);
    completeFormDefinition(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setMouseTracking(true);

    // Only moves over the bare background are the window's; every control
    // keeps its own.
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        control->setAttribute(Qt::WA_NoMousePropagation);

    for (LinkLabel *member : {ui->link_Label_0, ui->link_Label_1}) {
        const int index = member->index();
        Q_ASSERT(index >= 0 && index < int(m_links.size()) && !m_links[index]);
        m_links[index] = member;
        const auto memberIndex = static_cast<short>(index);
        connect(member, &LinkLabel::MouseMove, this,
                [this, memberIndex](Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPointF position) {
                    link_Label_MouseMove(memberIndex, buttonMask(buttons), shiftMask(shift),
                                         toTwips(position.x()), toTwips(position.y()));
                });
        connect(member, &LinkLabel::Click, this, [this, memberIndex] { link_Label_Click(memberIndex); });
    }
    connect(ui->Cmd_Ok, &QPushButton::clicked, this, &Frm_About::Cmd_Ok_Click);

    centreOnScreen(this);
}

Frm_About::~Frm_About() = default;

LinkLabel *Frm_About::link_Label(int index) const
{
    return m_links.at(static_cast<std::size_t>(index));
}

void Frm_About::Cmd_Ok_Click()
{
    close();
}

void Frm_About::Form_MouseMove(short, short, float, float)
{
    setFontUnderline(link_Label(0), false);
    setFontUnderline(link_Label(1), false);
}

void Frm_About::link_Label_MouseMove(short Index, short, short, float X, float Y)
{
    LinkLabel *member = link_Label(Index);
    // Size read anew on every move: the label may have been resized.
    const float W = static_cast<float>(member->width() * TwipsPerPixel);
    const float H = static_cast<float>(member->height() * TwipsPerPixel);
    const float right = static_cast<float>(W - HoverMargin);
    const float bottom = static_cast<float>(H - HoverMargin);
    const bool inside = X > HoverMargin && X < right && Y > HoverMargin && Y < bottom;
    setFontUnderline(member, inside);
}

void Frm_About::link_Label_Click(short Index)
{
    const QByteArray address = link_Label(Index)->tag().toLocal8Bit();
    // The outcome is not looked at: a link that fails to open leaves the
    // window as it was.
    m_shell->ShellExecuteA(0, "open", address.constData(), nullptr, nullptr, ShellLayer::SW_SHOWMAXIMIZED);
}

void Frm_About::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(buttonMask(event->buttons()), shiftMask(event->modifiers()), toTwips(event->position().x()),
                   toTwips(event->position().y()));
}

void Frm_About::keyPressEvent(QKeyEvent *event)
{
    if (!pressOnEnterOrEscape(event, ui->Cmd_Ok))
        QWidget::keyPressEvent(event);
}
