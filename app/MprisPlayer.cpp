#include "MprisPlayer.h"

#include "AppLog.h"
#include "Frm_Main.h"
#include "Playback.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.tandra");
// The two files together are the one "track".
const QString TrackId = QStringLiteral("/org/tandra/Files");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

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

class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    // It opens no URI of its own accord (OpenUri does nothing).
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    explicit MprisRootAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(player) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Tandra"); }
    QString desktopEntry() const { return QStringLiteral("org.example.tandra"); }
    QStringList none() const { return {}; }

public slots:
    void Raise()
    {
        Frm_Main &window = m_player->window();
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    }
    void Quit() { m_player->window().Mnu_Exit_Click(); }

private:
    MprisPlayer *m_player;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)

public:
    explicit MprisPlayerAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(player)
    {
        setAutoRelaySignals(true); // Seeked
    }
    QString playbackStatus() const { return mprisPlaybackStatus(m_player->window().transportState()); }
    double one() const { return 1; }
    bool yes() const { return true; }
    bool no() const { return false; }
    bool canSeek() const { return m_player->window().transportState() != TransportState::Stopped; }
    QVariantMap metadata() const { return m_player->metadata(); }
    qlonglong position() const { return m_player->positionUs(); }

signals:
    void Seeked(qlonglong Position);

public slots:
    // The same handlers as the menu commands, whatever the looks show.
    void Play() { m_player->window().Mnu_Play_Click(); }
    void Pause() { m_player->window().Mnu_Pause_Click(); }
    void PlayPause() { m_player->window().playPause(); }
    void Stop() { m_player->window().Mnu_Stop_Click(); }
    void Next() {}
    void Previous() {}
    void OpenUri(const QString &) {}
    void Seek(qlonglong Offset) { m_player->seekBy(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position) { m_player->seekTo(TrackId.path(), Position); }

private:
    MprisPlayer *m_player;
};

MprisPlayer *MprisPlayer::attach(Frm_Main &window)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcApp).noquote() << "no D-Bus session bus, so no media keys or desktop controls:"
                                   << bus.lastError().message().simplified();
        return nullptr;
    }
    // A second instance takes a name of its own, as MPRIS asks.
    QString name = ServiceName;
    if (!bus.registerService(name)) {
        name = ServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            qCWarning(lcApp).noquote() << "cannot take the D-Bus name" << name << ":" << bus.lastError().message();
            return nullptr;
        }
    }
    auto *player = new MprisPlayer(window, name);
    new MprisRootAdaptor(player);
    new MprisPlayerAdaptor(player);
    bus.registerObject(ObjectPath, player, QDBusConnection::ExportAdaptors);
    return player;
}

MprisPlayer::MprisPlayer(Frm_Main &window, QString serviceName)
    : QObject(&window)
    , m_window(window)
    , m_serviceName(std::move(serviceName))
    , m_announcedState(window.transportState())
{
    // Queued: a handler sets its six flags one by one; the status is what
    // they show once it has finished.
    connect(&window, &Frm_Main::transportLooksChanged, this, &MprisPlayer::looksChanged, Qt::QueuedConnection);
    connect(&window, &Frm_Main::channelFileSet, this, &MprisPlayer::fileSet);
}

MprisPlayer::~MprisPlayer()
{
    QDBusConnection::sessionBus().unregisterObject(ObjectPath);
    QDBusConnection::sessionBus().unregisterService(m_serviceName);
}

QVariantMap MprisPlayer::metadata() const
{
    QVariantMap data;
    QStringList names;
    for (int channel = 0; channel < 2; ++channel) {
        if (m_files[channel].isEmpty())
            continue;
        names << QFileInfo(m_files[channel]).fileName();
        data.insert(QStringLiteral("tandra:channel%1").arg(channel + 1), QUrl::fromLocalFile(m_files[channel]).toString());
    }
    data.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(names.isEmpty() ? NoTrack : TrackId)));
    if (!names.isEmpty())
        data.insert(QStringLiteral("xesam:title"), names.join(QStringLiteral(" + ")));
    const qint64 durationMs = m_window.playback().durationMs();
    if (durationMs > 0)
        data.insert(QStringLiteral("mpris:length"), durationMs * 1000);
    return data;
}

qint64 MprisPlayer::positionUs() const
{
    return std::max<qint64>(0, m_window.playback().positionMs()) * 1000;
}

void MprisPlayer::seekBy(qint64 offsetUs)
{
    if (m_window.transportState() == TransportState::Stopped)
        return;
    m_window.playback().seekBy(offsetUs / 1000);
    emit Seeked(positionUs());
}

void MprisPlayer::seekTo(const QString &trackId, qint64 positionUs)
{
    const qint64 durationMs = m_window.playback().durationMs();
    // Another track's position, or one outside the files, is ignored.
    if (trackId != TrackId || positionUs < 0 || (durationMs >= 0 && positionUs > durationMs * 1000)
        || m_window.transportState() == TransportState::Stopped)
        return;
    m_window.playback().seekTo(positionUs / 1000);
    emit Seeked(positionUs);
}

void MprisPlayer::looksChanged()
{
    const TransportState state = m_window.transportState();
    if (state == m_announcedState)
        return;
    m_announcedState = state;
    announce({{QStringLiteral("PlaybackStatus"), mprisPlaybackStatus(state)},
              {QStringLiteral("CanSeek"), state != TransportState::Stopped}});
}

void MprisPlayer::fileSet(int channelIndex, const QString &fileName)
{
    m_files[channelIndex] = fileName;
    announce({{QStringLiteral("Metadata"), metadata()}});
}

void MprisPlayer::announce(const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "MprisPlayer.moc"
