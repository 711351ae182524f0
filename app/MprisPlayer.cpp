#include "MprisPlayer.h"

#include "AppLog.h"
#include "Frm_Main.h"
#include "Playback.h"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {

const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.tandra");
// The two files together are the one "track".
const QString TrackId = QStringLiteral("/org/tandra/Files");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString LoopTrack = QStringLiteral("Track");
const QString LoopNone = QStringLiteral("None");

// A client may send any 64-bit figure; the engine works in nanoseconds, so a
// time in milliseconds stays well inside what they hold.
constexpr qint64 MaxTimeMs = std::numeric_limits<qint64>::max() / 1'000'000 / 4;

qint64 milliseconds(qint64 us)
{
    return std::clamp<qint64>(us / 1000, -MaxTimeMs, MaxTimeMs);
}

} // namespace

QString mprisPlaybackStatus(TransportState state)
{
    switch (state) {
    case TransportState::Playing: return QStringLiteral("Playing");
    case TransportState::Paused: return QStringLiteral("Paused");
    case TransportState::Stopped: break;
    }
    return QStringLiteral("Stopped");
}

QStringList mprisMimeTypes()
{
    return {QStringLiteral("audio/x-wav"), QStringLiteral("audio/mpeg"), QStringLiteral("audio/x-ms-wma"),
            QStringLiteral("video/x-msvideo"), QStringLiteral("audio/midi")};
}

class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

public:
    explicit MprisRootAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(player) {}
    bool canQuit() const { return m_player->controllable(); }
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Tandra"); }
    QString desktopEntry() const { return QStringLiteral("org.example.tandra"); }
    QStringList uriSchemes() const { return {QStringLiteral("file")}; }
    QStringList mimeTypes() const { return mprisMimeTypes(); }

public slots:
    void Raise() { m_player->raise(); }
    void Quit() { m_player->quit(); }

private:
    MprisPlayer *m_player;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ controllable)
    Q_PROPERTY(bool CanPause READ controllable)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ controllable)

public:
    explicit MprisPlayerAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(player)
    {
        setAutoRelaySignals(true); // Seeked
    }
    QString playbackStatus() const { return mprisPlaybackStatus(m_player->window().transportState()); }
    QString loopStatus() const { return m_player->loopStatus(); }
    void setLoopStatus(const QString &status) { m_player->setLoopStatus(status); }
    double one() const { return 1; }
    bool no() const { return false; }
    bool controllable() const { return m_player->controllable(); }
    bool canSeek() const
    {
        return m_player->controllable() && m_player->window().transportState() != TransportState::Stopped;
    }
    QVariantMap metadata() const { return m_player->metadata(); }
    double volume() const { return m_player->volume(); }
    void setVolume(double level) { m_player->setVolume(level); }
    qlonglong position() const { return m_player->positionUs(); }

signals:
    void Seeked(qlonglong Position);

public slots:
    void Play() { m_player->play(); }
    void Pause() { m_player->pause(); }
    void PlayPause() { m_player->playPause(); }
    void Stop() { m_player->stop(); }
    void Next() {}
    void Previous() {}
    void OpenUri(const QString &Uri) { m_player->openUri(Uri); }
    void Seek(qlonglong Offset) { m_player->seekBy(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position) { m_player->seekTo(TrackId.path(), Position); }

private:
    MprisPlayer *m_player;
};

MprisPlayer *MprisPlayer::attach(Frm_Main &window)
{
    auto *player = new MprisPlayer(window);
    if (!player->registerOnSessionBus()) {
        delete player;
        return nullptr;
    }
    return player;
}

MprisPlayer::MprisPlayer(Frm_Main &window)
    : QObject(&window)
    , m_window(window)
    , m_announcedState(window.transportState())
    , m_announcedLoop(loopStatus())
    , m_announcedVolume(volume())
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    // Queued: a handler sets its six flags one by one; the status is what
    // they show once it has finished.
    connect(&window, &Frm_Main::transportLooksChanged, this, &MprisPlayer::looksChanged, Qt::QueuedConnection);
    connect(&window, &Frm_Main::channelFileSet, this, &MprisPlayer::fileSet);
    connect(&window, &Frm_Main::dialogOpenChanged, this, &MprisPlayer::dialogOpenChanged);
    connect(&window, &Frm_Main::channelSettingsChanged, this, &MprisPlayer::settingsChanged);
    // An offset moves the end of the files' common timeline.
    connect(&window, &Frm_Main::channelOffsetChanged, this,
            [this] { announce(PlayerInterface, {{QStringLiteral("Metadata"), metadata()}}); });
    // The engine learns a file's length only once it is open.
    m_lengthWatch.setInterval(500);
    connect(&m_lengthWatch, &QTimer::timeout, this, &MprisPlayer::watchLengths);
}

bool MprisPlayer::registerOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcApp).noquote() << "no D-Bus session bus, so no media keys or desktop controls:"
                                << bus.lastError().message().simplified();
        return false;
    }
    // A second instance takes a name of its own, as MPRIS asks.
    QString name = ServiceName;
    if (!bus.registerService(name)) {
        name = ServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            qCWarning(lcApp).noquote() << "cannot take the D-Bus name" << name << ":" << bus.lastError().message();
            return false;
        }
    }
    m_serviceName = name;
    bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors);
    return true;
}

MprisPlayer::~MprisPlayer()
{
    if (m_serviceName.isEmpty())
        return;
    QDBusConnection::sessionBus().unregisterObject(ObjectPath);
    QDBusConnection::sessionBus().unregisterService(m_serviceName);
}

bool MprisPlayer::controllable() const { return !m_window.dialogOpen(); }

// The same handlers as the menu commands, whatever the looks show.
void MprisPlayer::play()
{
    if (controllable())
        m_window.Mnu_Play_Click();
}

void MprisPlayer::pause()
{
    if (controllable())
        m_window.Mnu_Pause_Click();
}

void MprisPlayer::playPause()
{
    if (controllable())
        m_window.playPause();
}

void MprisPlayer::stop()
{
    if (controllable())
        m_window.Mnu_Stop_Click();
}

void MprisPlayer::raise()
{
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    // The dialog is what takes the user's answer.
    QWidget *dialog = QApplication::activeModalWidget();
    if (m_window.dialogOpen() && dialog) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void MprisPlayer::quit()
{
    // Ending under the dialog would run the rest of the channel click first.
    if (controllable())
        m_window.Mnu_Exit_Click();
}

void MprisPlayer::openUri(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!controllable() || !url.isValid() || url.scheme() != QLatin1String("file"))
        return;
    // As the dialog would give it: an existing file, by its full path.
    const QFileInfo file(url.toLocalFile());
    if (!file.isFile())
        return;
    const bool toSecond = !m_window.channelFile(0).isEmpty() && m_window.channelFile(1).isEmpty();
    m_window.openFile(toSecond ? 1 : 0, QDir::toNativeSeparators(file.absoluteFilePath()));
}

QVariantMap MprisPlayer::metadata() const
{
    QVariantMap data;
    QStringList names;
    QString url;
    for (int channel = 0; channel < 2; ++channel) {
        const QString file = m_window.channelFile(channel);
        if (file.isEmpty())
            continue;
        names << QFileInfo(file).fileName();
        const QString fileUrl = QUrl::fromLocalFile(file).toString();
        data.insert(QStringLiteral("tandra:channel%1").arg(channel + 1), fileUrl);
        if (url.isEmpty())
            url = fileUrl;
    }
    data.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(names.isEmpty() ? NoTrack : TrackId)));
    if (names.isEmpty())
        return data;
    data.insert(QStringLiteral("xesam:title"), names.join(QStringLiteral(" + ")));
    data.insert(QStringLiteral("xesam:url"), url);
    // Where the later file ends on the timeline Position is counted on.
    qint64 longestMs = -1;
    for (int channel = 0; channel < 2; ++channel)
        if (m_lengthMs[channel] >= 0)
            longestMs = std::max(longestMs, m_lengthMs[channel] + m_window.playback().offsetMs(channel));
    if (longestMs > 0)
        data.insert(QStringLiteral("mpris:length"), longestMs * 1000);
    return data;
}

qint64 MprisPlayer::positionUs() const
{
    return std::max<qint64>(0, m_window.playback().positionMs()) * 1000;
}

void MprisPlayer::seekBy(qint64 offsetUs)
{
    if (!controllable() || m_window.transportState() == TransportState::Stopped)
        return;
    m_window.playback().seekBy(milliseconds(offsetUs));
    emit Seeked(positionUs());
}

void MprisPlayer::seekTo(const QString &trackId, qint64 positionUs)
{
    const qint64 durationMs = m_window.playback().durationMs();
    // Another track's position, or one outside the files, is ignored.
    if (!controllable() || trackId != TrackId || positionUs < 0
        || (durationMs >= 0 && positionUs / 1000 > durationMs)
        || m_window.transportState() == TransportState::Stopped)
        return;
    m_window.playback().seekTo(milliseconds(positionUs));
    emit Seeked(positionUs);
}

QString MprisPlayer::loopStatus() const
{
    const Playback &playback = m_window.playback();
    return playback.isLooping(0) && playback.isLooping(1) ? LoopTrack : LoopNone;
}

void MprisPlayer::setLoopStatus(const QString &status)
{
    // Both files are the one track, and the only one: a playlist loop is the track's.
    const bool known = status == LoopTrack || status == LoopNone || status == QLatin1String("Playlist");
    if (!controllable() || !known)
        return;
    m_changingBoth = true;
    for (int channel = 0; channel < 2; ++channel)
        m_window.setChannelLooping(channel, status != LoopNone);
    m_changingBoth = false;
    settingsChanged();
}

double MprisPlayer::volume() const
{
    const Playback &playback = m_window.playback();
    return std::max(playback.volume(0), playback.volume(1));
}

void MprisPlayer::setVolume(double level)
{
    if (!controllable() || std::isnan(level))
        return;
    level = std::clamp(level, 0.0, 1.0);
    const double louder = volume();
    m_changingBoth = true;
    for (int channel = 0; channel < 2; ++channel) {
        // Silent both, there is no ratio left to keep: both take the level.
        const double now = m_window.playback().volume(channel);
        m_window.setChannelVolume(channel, louder > 0 ? now * level / louder : level);
    }
    m_changingBoth = false;
    settingsChanged();
}

void MprisPlayer::looksChanged()
{
    const TransportState state = m_window.transportState();
    if (state == TransportState::Stopped)
        m_lengthWatch.stop();
    else
        m_lengthWatch.start();
    if (learnLengths())
        announce(PlayerInterface, {{QStringLiteral("Metadata"), metadata()}});
    if (state == m_announcedState)
        return;
    m_announcedState = state;
    announce(PlayerInterface, {{QStringLiteral("PlaybackStatus"), mprisPlaybackStatus(state)},
                               {QStringLiteral("CanSeek"), controllable() && state != TransportState::Stopped}});
}

void MprisPlayer::dialogOpenChanged()
{
    const bool can = controllable();
    announce(PlayerInterface, {{QStringLiteral("CanPlay"), can},
                               {QStringLiteral("CanPause"), can},
                               {QStringLiteral("CanSeek"), can && m_window.transportState() != TransportState::Stopped},
                               {QStringLiteral("CanControl"), can}});
    announce(RootInterface, {{QStringLiteral("CanQuit"), can}});
}

void MprisPlayer::fileSet(int channelIndex)
{
    m_lengthMs[channelIndex] = -1;
    announce(PlayerInterface, {{QStringLiteral("Metadata"), metadata()}});
}

void MprisPlayer::settingsChanged()
{
    // Both channels change as one: the value between them is never announced.
    if (m_changingBoth)
        return;
    QVariantMap changed;
    if (loopStatus() != m_announcedLoop) {
        m_announcedLoop = loopStatus();
        changed.insert(QStringLiteral("LoopStatus"), m_announcedLoop);
    }
    if (volume() != m_announcedVolume) {
        m_announcedVolume = volume();
        changed.insert(QStringLiteral("Volume"), m_announcedVolume);
    }
    if (!changed.isEmpty())
        announce(PlayerInterface, changed);
}

void MprisPlayer::watchLengths()
{
    if (learnLengths())
        announce(PlayerInterface, {{QStringLiteral("Metadata"), metadata()}});
}

bool MprisPlayer::learnLengths()
{
    bool learnt = false;
    for (int channel = 0; channel < 2; ++channel) {
        const qint64 lengthMs = m_window.playback().channelDurationMs(channel);
        if (lengthMs >= 0 && lengthMs != m_lengthMs[channel]) {
            m_lengthMs[channel] = lengthMs;
            learnt = true;
        }
    }
    return learnt;
}

void MprisPlayer::announce(const QString &interfaceName, const QVariantMap &changed)
{
    emit announced(interfaceName, changed);
    if (m_serviceName.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interfaceName << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "MprisPlayer.moc"
