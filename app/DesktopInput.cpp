#include "DesktopInput.h"

#include "Frm_Main.h"
#include "ui_Frm_Main.h"
#include "LevelDisplay.h"
#include "Playback.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {
constexpr int NotchDelta = 120;
constexpr int MatchFadeMs = 600; // a matching gain of a few dB has come in by then
} // namespace

QStringList droppedFiles(const QMimeData &data, int overChannel)
{
    QStringList files;
    for (const QUrl &url : data.urls()) {
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
            return {};
        files << QFileInfo(url.toLocalFile()).absoluteFilePath();
    }
    if (files.size() == 2)
        return files;
    if (files.size() == 1 && overChannel == 0)
        return {files[0], QString()};
    if (files.size() == 1 && overChannel == 1)
        return {QString(), files[0]};
    return {};
}

int steppedVolumePercent(double level, int notches)
{
    return std::clamp(qRound(level * 20) * 5 + 5 * notches, 0, 100);
}

DesktopInput::DesktopInput(Frm_Main &window)
    : QObject(&window)
    , m_window(window)
    , m_levelDisplay(new LevelDisplay(&window))
{
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {Qt::Key_MediaPlay, [&window] { window.Mnu_Play_Click(); }},
        {Qt::Key_MediaPause, [&window] { window.Mnu_Pause_Click(); }},
        {Qt::Key_MediaTogglePlayPause, [&window] { window.playPause(); }},
        {Qt::Key_MediaStop, [&window] { window.Mnu_Stop_Click(); }},
        {Qt::Key_Left, [&window] { window.seekBothBy(-SeekStepMs); }},
        {Qt::Key_Right, [&window] { window.seekBothBy(SeekStepMs); }},
        {Qt::Key_L, [this] { toggleMatchLoudness(); }},
        {Qt::Key_1, [this] { solo(0); }},
        {Qt::Key_2, [this] { solo(1); }},
        {Qt::Key_0, [this] { solo(-1); }},
    };
    for (const auto &[key, run] : keys)
        connect(new QShortcut(key, &window), &QShortcut::activated, this, run);

    window.setAcceptDrops(true);
    window.installEventFilter(this);
    window.controls().Img_1->installEventFilter(this);
    window.controls().Img_2->installEventFilter(this);
}

int DesktopInput::channelAt(QDropEvent *event) const
{
    const QWidget *under = m_window.childAt(event->position().toPoint());
    return under == m_window.controls().Img_1 ? 0 : under == m_window.controls().Img_2 ? 1 : -1;
}

bool DesktopInput::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        if (watched != &m_window)
            return false;
        auto *drop = static_cast<QDropEvent *>(event);
        // Qt sends moves and the drop only after an accepted enter, so the
        // enter asks whether the files go anywhere; each move then answers
        // for its own place.
        const int channel = event->type() == QEvent::DragEnter ? 0 : channelAt(drop);
        const QStringList files = droppedFiles(*drop->mimeData(), channel);
        // Refused drops show the no-drop cursor and change nothing.
        if (files.isEmpty() || !(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (event->type() == QEvent::Drop) {
            for (int channel = 0; channel < files.size(); ++channel)
                if (!files[channel].isEmpty())
                    m_window.openFile(channel, files[channel]);
        }
        return true;
    }
    case QEvent::Wheel:
        if (watched == m_window.controls().Img_1 || watched == m_window.controls().Img_2) {
            wheel(watched == m_window.controls().Img_1 ? 0 : 1, static_cast<QWheelEvent *>(event));
            return true;
        }
        return false;
    default:
        return false;
    }
}

void DesktopInput::wheel(int channel, QWheelEvent *event)
{
    const int delta = event->inverted() ? -event->angleDelta().y() : event->angleDelta().y();
    m_wheelRest[channel] += delta;
    const int notches = m_wheelRest[channel] / NotchDelta;
    m_wheelRest[channel] -= notches * NotchDelta;
    if (notches == 0)
        return;
    const int percent = steppedVolumePercent(m_window.playback().volume(channel), notches);
    m_window.setChannelVolume(channel, percent / 100.0);
    showLevel(channel);
}

void DesktopInput::showLevel(int channel)
{
    const Playback &playback = m_window.playback();
    const QWidget *button = channel == 0 ? m_window.controls().Img_1 : m_window.controls().Img_2;
    m_levelDisplay->showLevel(channel, qRound(playback.volume(channel) * 100), QRect(button->mapToGlobal(QPoint(0, 0)), button->size()),
                              playback.loudnessGainDb(channel), playback.solo() == channel);
}

// The display names the channel now heard alone; with both heard again the
// dimmed button coming back says enough.
void DesktopInput::solo(int channel)
{
    m_window.setSolo(channel);
    if (channel >= 0)
        showLevel(channel);
    else
        m_levelDisplay->hide();
}

// The display then shows the channel turned down, once the gain has come in.
void DesktopInput::toggleMatchLoudness()
{
    const bool on = !m_window.playback().matchesLoudness();
    m_window.setMatchLoudness(on);
    QTimer::singleShot(MatchFadeMs, this, [this] {
        const Playback &playback = m_window.playback();
        showLevel(playback.loudnessGainDb(1) < playback.loudnessGainDb(0) ? 1 : 0);
    });
}
