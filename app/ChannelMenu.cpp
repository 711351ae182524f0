#include "ChannelMenu.h"

#include "Frm_Main.h"
#include "Playback.h"

#include <QActionGroup>
#include <QFileInfo>

namespace {

// The captions, in the menu bar's words.
const QString NoFile = QStringLiteral("لا يوجد ملف");
const QString Loop = QStringLiteral("تكرار");
const QString Mute = QStringLiteral("كتم الصوت");
const QString Solo = QStringLiteral("منفردة");
const QString Offset = QStringLiteral("إزاحة زمنية...");
const QString MatchLoudness = QStringLiteral("مطابقة شدة الصوت");
const QString Open = QStringLiteral("إفتح ملفاً...");
const QString Output = QStringLiteral("مخرج الصوت");
const QString WithTheOtherChannel = QStringLiteral("مع القناة الأخرى");

// Unicode isolates: first-strong for a name in any script, left to right for
// the times, and right to left around both, as the menu's style lays out
// every line left to right.
const QChar RightToLeftIsolate(0x2067);
const QChar FirstStrongIsolate(0x2068);
const QChar LeftToRightIsolate(0x2066);
const QChar PopIsolate(0x2069);

// A "&" would mark a shortcut letter, and a tab start a shortcut's text.
QString menuText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&")).replace(QLatin1Char('\t'), QLatin1Char(' '));
}

} // namespace

QString minutesSeconds(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString channelSummary(const QString &fileName, qint64 positionMs, qint64 durationMs, qint64 offsetMs, bool rightToLeft)
{
    const auto leftToRight = [rightToLeft](const QString &text) {
        return rightToLeft ? LeftToRightIsolate + text + PopIsolate : text;
    };
    QString line = fileName.isEmpty() ? NoFile : QFileInfo(fileName).fileName();
    if (rightToLeft)
        line = FirstStrongIsolate + line + PopIsolate;
    if (offsetMs != 0) // with a true minus sign
        line += QLatin1Char(' ')
                + leftToRight(QStringLiteral("(%1%2 ms)").arg(offsetMs > 0 ? QStringLiteral("+") : QString(),
                                                             QString::number(offsetMs).replace(u'-', QChar(0x2212))));
    if (!fileName.isEmpty() && (positionMs >= 0 || durationMs >= 0))
        line += QStringLiteral("  ")
                + leftToRight(QStringLiteral("%1 / %2").arg(minutesSeconds(positionMs), durationMs < 0 ? QStringLiteral("-:--")
                                                                                                  : minutesSeconds(durationMs)));
    return rightToLeft ? RightToLeftIsolate + line + PopIsolate : line;
}

ChannelMenu::ChannelMenu(Frm_Main &window)
    : QMenu(&window)
    , m_window(window)
    , m_info(addAction(QString()))
    , m_loop(addAction(Loop))
    , m_mute(addAction(Mute))
    , m_output(addMenu(Output))
    , m_outputChoice(new QActionGroup(this))
    , m_solo(addAction(Solo))
    , m_match(addAction(MatchLoudness))
    , m_offset(addAction(Offset))
    , m_open(addAction(Open))
{
    setObjectName(QStringLiteral("Mnu_Channel"));
    setLayoutDirection(Qt::RightToLeft);
    m_info->setObjectName(QStringLiteral("Mnu_ChannelInfo"));
    m_info->setEnabled(false);
    m_loop->setObjectName(QStringLiteral("Mnu_ChannelLoop"));
    m_loop->setCheckable(true);
    m_mute->setObjectName(QStringLiteral("Mnu_ChannelMute"));
    m_mute->setCheckable(true);
    m_solo->setObjectName(QStringLiteral("Mnu_ChannelSolo"));
    m_solo->setCheckable(true);
    m_offset->setObjectName(QStringLiteral("Mnu_ChannelOffset"));
    m_match->setObjectName(QStringLiteral("Mnu_ChannelMatchLoudness"));
    m_match->setCheckable(true);
    m_match->setShortcut(Qt::Key_L); // shown; the window's own key does it
    m_output->setObjectName(QStringLiteral("Mnu_ChannelOutput"));
    m_output->setLayoutDirection(Qt::RightToLeft); // a menu of its own, which doesn't inherit it
    m_open->setObjectName(QStringLiteral("Mnu_ChannelOpen"));
    insertSeparator(m_loop);
    insertSeparator(m_open);

    connect(m_loop, &QAction::triggered, this, [this](bool on) { m_window.setChannelLooping(m_channel, on); });
    connect(m_mute, &QAction::triggered, this, [this](bool on) { m_window.setChannelMuted(m_channel, on); });
    connect(m_solo, &QAction::triggered, this, [this](bool on) { m_window.setSolo(on ? m_channel : -1); });
    connect(m_match, &QAction::triggered, this, [this](bool on) { m_window.setMatchLoudness(on); });
    connect(m_offset, &QAction::triggered, this, [this] { m_window.editChannelOffset(m_channel); });
    connect(m_output, &QMenu::aboutToShow, this, &ChannelMenu::listOutputs);
    connect(m_open, &QAction::triggered, this, [this] {
        if (m_channel == 0)
            m_window.Img_1_Click();
        else
            m_window.Img_2_Click();
    });

    // The position moves while the menu is open.
    m_refresh.setInterval(250);
    connect(&m_refresh, &QTimer::timeout, this, &ChannelMenu::refresh);
    connect(this, &QMenu::aboutToShow, &m_refresh, qOverload<>(&QTimer::start));
    connect(this, &QMenu::aboutToHide, &m_refresh, &QTimer::stop);
}

void ChannelMenu::popupFor(int channel, const QPoint &globalPos)
{
    m_channel = channel;
    const Playback &playback = m_window.playback();
    m_loop->setChecked(playback.isLooping(channel));
    m_mute->setChecked(playback.isMuted(channel));
    m_solo->setChecked(playback.solo() == channel);
    m_solo->setShortcut(Qt::Key_1 + channel); // shown, as L is
    m_match->setChecked(playback.matchesLoudness());
    refresh();
    popup(globalPos);
}

void ChannelMenu::refresh()
{
    const Playback &playback = m_window.playback();
    m_info->setText(menuText(channelSummary(m_window.channelFile(m_channel), playback.channelPositionMs(m_channel),
                                            playback.channelDurationMs(m_channel), playback.offsetMs(m_channel), true)));
}

void ChannelMenu::listOutputs()
{
    // Outputs come and go (headphones, docks), so they are asked anew.
    m_output->clear();
    const auto add = [&](const QString &text, const SoundServerOutput &output) {
        QAction *item = m_outputChoice->addAction(m_output->addAction(menuText(text)));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, output] { m_window.setChannelOutput(m_channel, output); });
        return item;
    };
    QAction *withTheOther = add(WithTheOtherChannel, {});
    withTheOther->setObjectName(QStringLiteral("Mnu_ChannelOutputDefault"));
    // Unless the channel's output is listed: one gone since it was chosen
    // has left the channel with the other.
    withTheOther->setChecked(true);
    const QString current = m_window.playback().output(m_channel);
    for (const SoundServerOutput &output : m_window.outputs())
        add(output.description, output)->setChecked(output.name == current);
}
