#pragma once

#include "Transport.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

class Frm_Main;

// "Playing", "Paused" or "Stopped", as MPRIS names them.
QString mprisPlaybackStatus(TransportState state);

// The media types the desktop entry offers the program for.
QStringList mprisMimeTypes();

// The main window as one MPRIS 2 player, org.mpris.MediaPlayer2.tandra, on
// the session bus, so that desktop media keys, panels and playerctl work its
// shared transport. Play, Pause, PlayPause and Stop run the menu commands'
// handlers; the status is what the transport looks show; seeking moves both
// channels together; the volume and the loop are both channels' together.
// While one of the window's dialogs is open it takes no command.
class MprisPlayer : public QObject
{
    Q_OBJECT

public:
    // Registers a player for the window and lives as long as it; without a
    // session bus it says so (an information line) and returns null.
    static MprisPlayer *attach(Frm_Main &window);
    // A player on no bus: what it would announce goes to announced() only.
    explicit MprisPlayer(Frm_Main &window);
    ~MprisPlayer() override;

    Frm_Main &window() { return m_window; }
    // False while a dialog of the window is open.
    bool controllable() const;

    void play();
    void pause();
    void playPause();
    void stop();
    void seekBy(qint64 offsetUs);
    void seekTo(const QString &trackId, qint64 positionUs);
    void openUri(const QString &uri);
    void raise();
    void quit();

    QVariantMap metadata() const;
    qint64 positionUs() const;
    // "Track" while both channels loop, "None" otherwise.
    QString loopStatus() const;
    void setLoopStatus(const QString &status);
    // The louder channel's level; setting it scales both, keeping their ratio.
    double volume() const;
    void setVolume(double level);

signals:
    void Seeked(qlonglong position);
    // Each PropertiesChanged, as sent on the bus.
    void announced(const QString &interfaceName, const QVariantMap &changed);

private:
    bool registerOnSessionBus();
    void looksChanged();
    void dialogOpenChanged();
    void fileSet(int channelIndex);
    void settingsChanged();
    void watchLengths();
    bool learnLengths();
    void announce(const QString &interfaceName, const QVariantMap &changed);

    Frm_Main &m_window;
    QString m_serviceName; // empty while on no bus
    TransportState m_announcedState = TransportState::Stopped;
    QString m_announcedLoop;
    double m_announcedVolume = 0;
    bool m_changingBoth = false;
    // Each channel's file length once the engine has told it, kept across
    // Stop until the channel gets another file.
    qint64 m_lengthMs[2] = {-1, -1};
    QTimer m_lengthWatch;
};
