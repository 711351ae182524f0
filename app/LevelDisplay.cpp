#include "LevelDisplay.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace {

// The colours of the two channel buttons' tiles.
const QColor ChannelColours[] = {QColor(36, 104, 222), QColor(232, 78, 150)};
const QColor Ground(24, 28, 44);
const QColor Track(70, 76, 96);
constexpr int Gap = 6;
constexpr int NarrowWidth = 136;
const QString Alone = QStringLiteral("وحدها");

QFont noteFont(QFont font)
{
    font.setBold(true);
    font.setPixelSize(12);
    return font;
}

} // namespace

LevelDisplay::LevelDisplay(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus
                          | Qt::WindowTransparentForInput)
    , m_fade(this, "windowOpacity")
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(NarrowWidth, 30);

    m_hold.setSingleShot(true);
    m_hold.setInterval(1000);
    m_fade.setDuration(300);
    m_fade.setStartValue(1.0);
    m_fade.setEndValue(0.0);
    connect(&m_hold, &QTimer::timeout, &m_fade, [this] { m_fade.start(); });
    // Without a compositor the fade shows nothing; hiding still ends it.
    connect(&m_fade, &QPropertyAnimation::finished, this, &QWidget::hide);
}

void LevelDisplay::showLevel(int channel, int percent, const QRect &beside, double gainDb, bool alone)
{
    m_channel = channel;
    m_percent = percent;
    m_gainDb = gainDb;
    m_alone = alone;
    const QString extra = note();
    setFixedWidth(NarrowWidth + (extra.isEmpty() ? 0 : QFontMetrics(noteFont(font())).horizontalAdvance(extra) + 2 * Gap));
    m_fade.stop();
    setWindowOpacity(1.0);

    // To the right of the button, or to its left where the screen ends.
    QPoint place(beside.right() + 1 + Gap, beside.center().y() - height() / 2);
    const QScreen *screen = QGuiApplication::screenAt(beside.center());
    if (screen && place.x() + width() > screen->availableGeometry().right())
        place.setX(beside.left() - Gap - width());
    move(place);
    show();
    update();
    m_hold.start();
}

void LevelDisplay::paintEvent(QPaintEvent *)
{
    const QColor colour = ChannelColours[m_channel];
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Ground);
    p.setPen(QPen(colour, 2));
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));

    // The channel's number on a disc of its colour.
    const QRectF disc(6, 5, 20, 20);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(disc);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(disc, Qt::AlignCenter, QString::number(m_channel + 1));

    const QRectF track(32, 12, 56, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(Track);
    p.drawRoundedRect(track, 3, 3);
    p.setBrush(colour.lighter(115));
    p.drawRoundedRect(QRectF(track.topLeft(), QSizeF(track.width() * m_percent / 100, track.height())), 3, 3);

    p.setFont(noteFont(font));
    p.setPen(Qt::white);
    p.drawText(QRectF(92, 0, 40, height()), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 %").arg(m_percent));
    if (const QString extra = note(); !extra.isEmpty())
        p.drawText(QRectF(NarrowWidth, 0, width() - NarrowWidth - Gap, height()), Qt::AlignRight | Qt::AlignVCenter, extra);
}

// "وحدها" when heard alone, and "−3.2 dB", with a true minus sign, for a gain;
// empty for neither.
QString LevelDisplay::note() const
{
    QStringList parts;
    if (m_alone)
        parts << Alone;
    if (const double tenths = std::round(m_gainDb * 10) / 10; tenths != 0)
        parts << QStringLiteral("%1 dB").arg(QString::number(tenths, 'f', 1).replace(u'-', QChar(0x2212)));
    return parts.join(QStringLiteral("  "));
}
