#pragma once

#include "Transport.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

class Frm_Main;

// "Playing", "Paused" or "Stopped", as MPRIS names them.
QString mprisPlaybackStatus(TransportState state);

// The main window as one MPRIS 2 player, org.mpris.MediaPlayer2.tandra, on
// the session bus, so that desktop media keys, panels and playerctl work its
// shared transport. Play, Pause, PlayPause and Stop run the menu commands'
// handlers; the status is what the transport looks show; seeking moves both
// channels together.
class MprisPlayer : public QObject
{
    Q_OBJECT

public:
    // Registers a player for the window and lives as long as it; without a
    // session bus it says so once on stderr and returns null.
    static MprisPlayer *attach(Frm_Main &window);
    ~MprisPlayer() override;

    Frm_Main &window() { return m_window; }
    QVariantMap metadata() const;
    qint64 positionUs() const;
    void seekBy(qint64 offsetUs);
    void seekTo(const QString &trackId, qint64 positionUs);

signals:
    void Seeked(qlonglong position);

private:
    MprisPlayer(Frm_Main &window, QString serviceName);
    void looksChanged();
    void fileSet(int channelIndex, const QString &fileName);
    void announce(const QVariantMap &changed);

    Frm_Main &m_window;
    QString m_serviceName;
    TransportState m_announcedState = TransportState::Stopped;
    QString m_files[2];
};
