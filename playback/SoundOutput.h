#pragma once

#include <gst/gst.h>

#include <QStringList>

#include <functional>

// Where the mix goes: the desktop's sound server, or an output described
// as a gst-launch bin (with one sink pad). It remembers whether the server
// ever answered: a server that did is waited for when it is gone, rather
// than replaced by whatever else the desktop offers.
class SoundOutput
{
public:
    SoundOutput(QString description, std::function<void(GstElement *)> created);

    // A floating element, or null when the sound server that answered
    // before answers no more (or the description can't be built). device:
    // the server's output by its name; empty, the default one.
    GstElement *make(const QString &device = {});
    // Whether make() would find the output there now; cheap.
    bool answers() const;
    bool serverSeen() const { return m_serverSeen; }

    // Tells the sound server what plays: music, or the sound of a video.
    static void describe(GstElement *output, const QStringList &fileNames);

private:
    QString m_description;
    std::function<void(GstElement *)> m_created;
    bool m_serverSeen = false;
};
