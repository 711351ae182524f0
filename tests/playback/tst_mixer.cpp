#include "GainRamp.h"
#include "MixerElement.h"

#include <QtTest>

#include <gst/gst.h>

#include <atomic>
#include <cmath>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr int Block = Rate / 100; // the mixer's 10 ms
constexpr float A = 0.25f, B = 0.125f; // pad A plays (A, A), pad B (B, -B)

// Two appsrcs of constant stereo frames into the mixer, its blocks pulled
// from an appsink; no clock, so each block is mixed as soon as both pads
// have sound for it.
class MixRig
{
public:
    MixRig(double gainA, double gainB)
    {
        m_pipeline = gst_pipeline_new(nullptr);
        m_mixer = createMixerElement();
        m_sink = gst_element_factory_make("appsink", nullptr);
        GstCaps *caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved,rate=48000,channels=2");
        // What follows the mixer sets its format, as in an output.
        g_object_set(m_sink, "sync", FALSE, "caps", caps, nullptr);
        g_object_set(m_mixer, "output-buffer-duration", guint64(10 * GST_MSECOND), nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline), m_mixer, m_sink, nullptr);
        gst_element_link(m_mixer, m_sink);
        for (int i = 0; i < 2; ++i) {
            m_sources[i] = gst_element_factory_make("appsrc", nullptr);
            g_object_set(m_sources[i], "caps", caps, "format", GST_FORMAT_TIME, nullptr);
            gst_bin_add(GST_BIN(m_pipeline), m_sources[i]);
            m_pads[i] = gst_element_request_pad_simple(m_mixer, "sink_%u");
            GstPad *src = gst_element_get_static_pad(m_sources[i], "src");
            gst_pad_link(src, m_pads[i]);
            gst_object_unref(src);
        }
        gst_caps_unref(caps);
        setGain(0, gainA);
        setGain(1, gainB);
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    }
    ~MixRig()
    {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        for (GstPad *pad : m_pads) {
            gst_element_release_request_pad(m_mixer, pad);
            gst_object_unref(pad);
        }
        gst_object_unref(m_pipeline);
    }

    // Mute for a gain of 0, as the engine may.
    void setGain(int pad, double gain)
    {
        if (gain == 0)
            g_object_set(m_pads[pad], "mute", TRUE, nullptr);
        else
            g_object_set(m_pads[pad], "volume", gain, "mute", FALSE, nullptr);
    }
    void hold() { holdMixerChanges(m_mixer); }
    void release(qint64 fromFrame) { releaseMixerChanges(m_mixer, gst_util_uint64_scale(fromFrame, GST_SECOND, Rate)); }

    // `blocks` more of both pads' sound in, and the mix of it out.
    bool mix(int blocks)
    {
        for (int b = 0; b < blocks; ++b, m_pushed += Block)
            for (int i = 0; i < 2; ++i) {
                GstBuffer *buffer = gst_buffer_new_allocate(nullptr, Block * 2 * sizeof(float), nullptr);
                GstMapInfo map;
                gst_buffer_map(buffer, &map, GST_MAP_WRITE);
                auto *frames = reinterpret_cast<float *>(map.data);
                for (int f = 0; f < Block; ++f) {
                    frames[2 * f] = i == 0 ? A : B;
                    frames[2 * f + 1] = i == 0 ? A : -B;
                }
                gst_buffer_unmap(buffer, &map);
                GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(m_pushed, GST_SECOND, Rate);
                GST_BUFFER_DURATION(buffer) = 10 * GST_MSECOND;
                GstFlowReturn ret;
                g_signal_emit_by_name(m_sources[i], "push-buffer", buffer, &ret);
                gst_buffer_unref(buffer);
            }
        while (out.size() < std::size_t(2 * m_pushed)) {
            GstSample *sample = nullptr;
            g_signal_emit_by_name(m_sink, "try-pull-sample", 10 * GST_SECOND, &sample);
            if (!sample)
                return false;
            GstMapInfo map;
            GstBuffer *buffer = gst_sample_get_buffer(sample);
            gst_buffer_map(buffer, &map, GST_MAP_READ);
            const auto *frames = reinterpret_cast<const float *>(map.data);
            out.insert(out.end(), frames, frames + map.size / sizeof(float));
            gst_buffer_unmap(buffer, &map);
            gst_sample_unref(sample);
        }
        return true;
    }

    std::vector<float> out; // stereo frames mixed

private:
    GstElement *m_pipeline, *m_mixer, *m_sink;
    GstElement *m_sources[2];
    GstPad *m_pads[2];
    qint64 m_pushed = 0;
};

// Buffers through a pad: how many, and where the last ended.
struct Flow
{
    std::atomic<int> buffers = 0;
    std::atomic<guint64> end = 0;

    void watch(GstElement *element, const char *padName)
    {
        GstPad *pad = gst_element_get_static_pad(element, padName);
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad *, GstPadProbeInfo *info, gpointer data) {
                auto *flow = static_cast<Flow *>(data);
                const GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
                flow->end = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer);
                ++flow->buffers;
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
        gst_object_unref(pad);
    }
};

} // namespace

class MixerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }

    // The law of one change: exact at both ends, monotonic between, and
    // two opposite ramps started together keep their power at 1.
    void gainRamp_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("rate");
        QTest::newRow("out of a solo, 48 kHz") << 1.0 << 0.0 << 48000;
        QTest::newRow("into a solo, 44.1 kHz") << 0.0 << 1.0 << 44100;
        QTest::newRow("a volume step up") << 0.5 << 0.8 << 48000;
    }
    void gainRamp()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, rate);
        const long long frames = GainRamp::fadeFrames(rate);
        QCOMPARE(frames, std::llround(rate * 0.005));
        const GainRamp ramp(from, to, frames), partner(to, from, frames);
        QCOMPARE(ramp.at(0), from);
        QCOMPARE(ramp.at(frames), to);
        QCOMPARE(ramp.at(frames + 100), to);
        for (long long f = 1; f <= frames; ++f) {
            QVERIFY((ramp.at(f) - ramp.at(f - 1)) * (to - from) > 0);
            if (from + to == 1 && from * to == 0) {
                const double power = ramp.at(f) * ramp.at(f) + partner.at(f) * partner.at(f);
                QVERIFY2(std::abs(power - 1) < 1e-6, qPrintable(QString::number(power, 'g', 12)));
            }
        }
    }

    // The mixer on numbers: each frame out is A·gA + B·gB, with each gain
    // where its ramp has it on that frame, the ramps starting with the block
    // after the change, or on the frame they were let go for (both on one
    // frame), and no step larger than the ramp allows.
    void mixesOnNumbers_data()
    {
        QTest::addColumn<double>("fromA");
        QTest::addColumn<double>("toA");
        QTest::addColumn<double>("fromB");
        QTest::addColumn<double>("toB");
        QTest::addColumn<bool>("heldApart"); // B set a block after A, changes held between
        QTest::addColumn<int>("fromFrame");  // let go for this frame, as across two outputs
        QTest::newRow("summed exactly") << 1.0 << 1.0 << 1.0 << 1.0 << false << 0;
        QTest::newRow("a volume step") << 0.5 << 0.8 << 1.0 << 1.0 << false << 0;
        QTest::newRow("a solo switch") << 1.0 << 0.0 << 0.0 << 1.0 << false << 0;
        QTest::newRow("a solo switch set apart, held") << 0.0 << 1.0 << 1.0 << 0.0 << true << 0;
        QTest::newRow("a solo switch for a frame two blocks on")
            << 1.0 << 0.0 << 0.0 << 1.0 << false << 12 * Block + Block / 3;
    }
    void mixesOnNumbers()
    {
        QFETCH(double, fromA);
        QFETCH(double, toA);
        QFETCH(double, fromB);
        QFETCH(double, toB);
        QFETCH(bool, heldApart);
        QFETCH(int, fromFrame);
        MixRig rig(fromA, fromB);
        QVERIFY(rig.mix(10));
        if (heldApart || fromFrame)
            rig.hold();
        rig.setGain(0, toA);
        if (heldApart)
            QVERIFY(rig.mix(1));
        rig.setGain(1, toB);
        rig.release(fromFrame);
        QVERIFY(rig.mix(10));

        const long long changedAt = fromFrame ? fromFrame : (heldApart ? 11 : 10) * Block;
        const long long frames = GainRamp::fadeFrames(Rate);
        const GainRamp rampA(fromA, toA, frames), rampB(fromB, toB, frames);
        const double steepest = M_PI / 2 / double(frames); // of a gain of at most 1
        for (std::size_t f = 0; f < rig.out.size() / 2; ++f) {
            const long long inRamp = (long long)f - changedAt;
            const double gA = inRamp < 0 ? fromA : rampA.at(inRamp), gB = inRamp < 0 ? fromB : rampB.at(inRamp);
            const float left = rig.out[2 * f], right = rig.out[2 * f + 1];
            const QString where = QStringLiteral("frame %1: %2 %3").arg(f).arg(left).arg(right);
            if (gA == 1 && gB == 1) {
                QVERIFY2(left == A + B && right == A - B, qPrintable(where)); // the plain sum, exactly
                continue;
            }
            QVERIFY2(std::abs(left - (A * gA + B * gB)) < 1e-6, qPrintable(where));
            QVERIFY2(std::abs(right - (A * gA - B * gB)) < 1e-6, qPrintable(where));
            if (f > 0)
                QVERIFY2(std::abs(left - rig.out[2 * f - 2]) <= (A + B) * steepest + 1e-6, qPrintable(where));
            if (fromA + toA == 1 && fromB + toB == 1) { // a crossfade: the power stays
                const double a = (left + right) / (2 * A), b = (left - right) / (2 * B);
                QVERIFY2(std::abs(a * a + b * b - 1) < 1e-5, qPrintable(where));
            }
        }
    }

    // Channels come and go while the mixer runs: a pad released while its
    // sound is being mixed must not be touched once it is gone (the
    // sanitizer build tells). The mix goes on all the while.
    void releasesPadsWhileMixing()
    {
        GstElement *pipeline = gst_pipeline_new(nullptr);
        GstElement *mixer = createMixerElement(), *sink = gst_element_factory_make("fakesink", nullptr);
        GstElement *steady = gst_element_factory_make("audiotestsrc", nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
        g_object_set(mixer, "output-buffer-duration", guint64(100 * GST_MSECOND), nullptr);
        gst_bin_add_many(GST_BIN(pipeline), steady, mixer, sink, nullptr);
        QVERIFY(gst_element_link_many(steady, mixer, sink, nullptr));
        Flow mixed;
        mixed.watch(sink, "sink");
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        QCOMPARE(gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
        for (int i = 0; i < 100; ++i) {
            GstElement *source = gst_element_factory_make("audiotestsrc", nullptr);
            gst_bin_add(GST_BIN(pipeline), source);
            GstPad *pad = gst_element_request_pad_simple(mixer, "sink_%u");
            GstPad *src = gst_element_get_static_pad(source, "src");
            gst_pad_set_offset(src, GstClockTimeDiff(mixed.end.load())); // lands where the mix is, so it is mixed
            gst_pad_link(src, pad);
            Flow pushed;
            pushed.watch(source, "src");
            gst_element_sync_state_with_parent(source);
            while (pushed.buffers < 2 + i % 3)
                g_usleep(50);
            gst_pad_unlink(src, pad);
            gst_element_release_request_pad(mixer, pad);
            gst_object_unref(pad);
            gst_element_set_state(source, GST_STATE_NULL);
            gst_object_unref(src);
            gst_bin_remove(GST_BIN(pipeline), source);
        }
        const int before = mixed.buffers;
        QTRY_VERIFY(mixed.buffers > before);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

QTEST_GUILESS_MAIN(MixerTest)
#include "tst_mixer.moc"
