#include "Frm_Main.h"

#include "AppLog.h"

#include "ChannelMenu.h"
#include "DesktopInput.h"
#include "Frm_About.h"
#include "Frm_Help.h"
#include "OffsetBox.h"
#include "OpenFileDialog.h"
#include "Playback.h"
#include "SkinFolders.h"
#include "StoredResources.h"
#include "WindowSlot.h"
#include "ui_Frm_Main.h"

#include <QAccessible>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QImageReader>


namespace {

const QChar Separator = QDir::separator();
constexpr double SilencedOpacity = 0.35; // a channel button while the other is heard alone

OpenFileDialogSettings mediaDialogSettings()
{
    return {QStringLiteral("*.wav; *.mp3; *.wma; *.dat;*.avi; *.mid"), {QStringLiteral("All Media File|")}};
}

OpenFileDialogSettings skinDialogSettings()
{
    return {QStringLiteral("*.skn"), {}};
}

} // namespace

Frm_Main::Frm_Main(Frm_MainComponents components, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Frm_Main>())
    , m_components(std::move(components))
    , m_looks([this](SkinButton b, ButtonVisualState s) { ShowButtonImage(b, s); })
{
    Form_Initialize();

    initStoredResources();
    ui->setupUi(this);
    // A fixed frame with only a close box; the client area stays 375 x 187.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(ui->Frm_Background->minimumSize() + QSize(0, menuBar()->sizeHint().height()));
    // Also while minimised, when Qt would offer the (empty) icon text instead.
    setAccessibleName(windowTitle());
    // Up to 128 px: every size here is decoded and sent to the X server before
    // the window maps; larger views take the installed theme icon.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/tandra-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    for (QAction *action : ui->Mnu_File->actions())
        if (action->isSeparator())
            action->setObjectName(QStringLiteral("Mnu_space1"));

    m_playback = m_components.makePlayback();
    // A screen reader hears that the output it was told of has gone.
    m_playback->outputGivenBack = [this](int channel) { channelDescriptionChanged(channel); };
    Mmc_1 = &m_playback->channel(0);
    Mmc_2 = &m_playback->channel(1);
    Cmo_1 = m_components.makeDialog(mediaDialogSettings(), this);
    Cmo_2 = m_components.makeDialog(mediaDialogSettings(), this);
    Cmo_Img = m_components.makeDialog(skinDialogSettings(), this);
    m_transport = std::make_unique<Transport>(
        static_cast<TransportLooks &>(*this), TransportChannel{*Mmc_1, *Cmo_1, SkinButton::Img_1},
        TransportChannel{*Mmc_2, *Cmo_2, SkinButton::Img_2},
        [this](SkinButton b, ButtonVisualState s) { ShowButtonImage(b, s); });
    m_transport->onFileSet = [this](int channel, const QString &fileName) {
        m_channelFiles[channel] = fileName;
        channelDescriptionChanged(channel);
        emit channelFileSet(channel, fileName);
    };

    m_channelMenu = new ChannelMenu(*this);
    connectControls();
    new DesktopInput(*this);
    Form_Load();
}

Frm_Main::~Frm_Main() = default;

void Frm_Main::connectControls()
{
    struct ButtonHandlers
    {
        PictureButton *button;
        QAction *command; // names the button for a screen reader
        void (Frm_Main::*click)();
        void (Frm_Main::*mouseDown)();
        void (Frm_Main::*mouseMove)();
    };
    const ButtonHandlers handlers[] = {
        {ui->Img_1, ui->Mnu_Open1, &Frm_Main::Img_1_Click, &Frm_Main::Img_1_MouseDown, &Frm_Main::Img_1_MouseMove},
        {ui->Img_2, ui->Mnu_Open2, &Frm_Main::Img_2_Click, &Frm_Main::Img_2_MouseDown, &Frm_Main::Img_2_MouseMove},
        {ui->Img_Play, ui->Mnu_Play, &Frm_Main::Img_Play_Click, &Frm_Main::Img_Play_MouseDown,
         &Frm_Main::Img_Play_MouseMove},
        {ui->Img_Pause, ui->Mnu_Pause, &Frm_Main::Img_Pause_Click, &Frm_Main::Img_Pause_MouseDown,
         &Frm_Main::Img_Pause_MouseMove},
        {ui->Img_Stop, ui->Mnu_Stop, &Frm_Main::Img_Stop_Click, &Frm_Main::Img_Stop_MouseDown,
         &Frm_Main::Img_Stop_MouseMove},
    };
    for (const ButtonHandlers &h : handlers) {
        h.button->setAccessibleName(h.command->text());
        connect(h.button, &PictureButton::Click, this, h.click);
        connect(h.button, &PictureButton::MouseDown, this, h.mouseDown);
        connect(h.button, &PictureButton::MouseMove, this, h.mouseMove);
    }
    connect(ui->Frm_Background, &BackgroundArea::MouseMove, this, &Frm_Main::Form_MouseMove);
    connectChannelButton(0, ui->Img_1);
    connectChannelButton(1, ui->Img_2);

    // Mnu_Refresh has no handler, and Mnu_ChoseSkin stays switched off.
    const std::pair<QAction *, void (Frm_Main::*)()> menu[] = {
        {ui->Mnu_Open1, &Frm_Main::Mnu_Open1_Click}, {ui->Mnu_Open2, &Frm_Main::Mnu_Open2_Click},
        {ui->Mnu_Min, &Frm_Main::Mnu_Min_Click},     {ui->Mnu_Exit, &Frm_Main::Mnu_Exit_Click},
        {ui->Mnu_Play, &Frm_Main::Mnu_Play_Click},   {ui->Mnu_Pause, &Frm_Main::Mnu_Pause_Click},
        {ui->Mnu_Stop, &Frm_Main::Mnu_Stop_Click},   {ui->Mnu_ChoseSkin, &Frm_Main::Mnu_ChoseSkin_Click},
        {ui->Mnu_Help, &Frm_Main::Mnu_Help_Click},   {ui->Mnu_About, &Frm_Main::Mnu_About_Click},
    };
    for (const auto &[action, handler] : menu)
        connect(action, &QAction::triggered, this, handler);

    // The dialog holds back the mouse and keys, but a screen reader runs a
    // menu item's action directly: every item is off while a dialog is open.
    // The group gives back to each item its own state afterwards.
    auto *menuItems = new QActionGroup(this);
    menuItems->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (QAction *menu : menuBar()->actions())
        for (QAction *item : menu->menu()->actions())
            if (!item->isSeparator())
                menuItems->addAction(item);
    connect(this, &Frm_Main::dialogOpenChanged, menuItems, &QActionGroup::setDisabled);
}

void Frm_Main::connectChannelButton(int channelIndex, PictureButton *channelButton)
{
    // The right button (its press has already shown the pressed look) and the
    // menu key open the channel's menu; neither clicks.
    channelButton->setContextMenuPolicy(Qt::CustomContextMenu);
    channelButton->setFocusPolicy(Qt::TabFocus);
    connect(channelButton, &QWidget::customContextMenuRequested, this, [this, channelIndex, channelButton](QPoint at) {
        m_channelMenu->popupFor(channelIndex, channelButton->mapToGlobal(at));
    });
    // What a screen reader says the channel holds, current whenever it asks.
    channelButton->setDescriber([this, channelIndex] {
        QString text = channelSummary(m_channelFiles[channelIndex], m_playback->channelPositionMs(channelIndex),
                                      m_playback->channelDurationMs(channelIndex), m_playback->offsetMs(channelIndex));
        const QString output = m_playback->output(channelIndex);
        const SoundServerOutput &chosen = m_channelOutputs[channelIndex];
        if (!output.isEmpty())
            text += QStringLiteral("، المخرج: ") + (chosen.name == output ? chosen.description : output);
        if (const int solo = m_playback->solo(); solo >= 0)
            text += solo == channelIndex ? QStringLiteral("، وحدها مسموعة") : QStringLiteral("، صامتة للمقارنة");
        return text;
    });
}

PictureButton *Frm_Main::button(SkinButton which) const
{
    switch (which) {
    case SkinButton::Img_1: return ui->Img_1;
    case SkinButton::Img_2: return ui->Img_2;
    case SkinButton::Img_Stop: return ui->Img_Stop;
    case SkinButton::Img_Pause: return ui->Img_Pause;
    case SkinButton::Img_Play: return ui->Img_Play;
    }
    return nullptr;
}

PictureButton *Frm_Main::overlay(TransportButton which) const
{
    switch (which) {
    case TransportButton::Play: return ui->Img_DPlay;
    case TransportButton::Pause: return ui->Img_DPause;
    case TransportButton::Stop: return ui->Img_DStop;
    }
    return nullptr;
}

void Frm_Main::setOverlayVisible(TransportButton which, bool visible)
{
    overlay(which)->setVisible(visible);
    emit transportLooksChanged();
}

void Frm_Main::setButtonEnabled(TransportButton which, bool enabled)
{
    const SkinButton skinButton = which == TransportButton::Play    ? SkinButton::Img_Play
                                  : which == TransportButton::Pause ? SkinButton::Img_Pause
                                                                    : SkinButton::Img_Stop;
    button(skinButton)->setEnabled(enabled);
}

void Frm_Main::ShowButtonImage(SkinButton which, ButtonVisualState state)
{
    const QString name = QString::fromLatin1(buttonImageName(which, state));
    const PictureFile file = pictureFileForRatio(SkinFolder, Separator, name, devicePixelRatio(),
                                                 [](const QString &path) { return QFileInfo::exists(path); });
    m_imageLoader.show(*button(which), file.path, file.devicePixelRatio);
}

void Frm_Main::openFile(int channelIndex, const QString &fileName)
{
    m_transport->channelOpen(channelIndex, fileName);
}

TransportState Frm_Main::transportState() const
{
    // A button is available when its overlay is hidden; the handlers set both together.
    return transportStateOfLooks(ui->Img_DPause->isHidden(), ui->Img_DStop->isHidden());
}

void Frm_Main::playPause()
{
    if (transportState() == TransportState::Playing)
        Mnu_Pause_Click();
    else
        Mnu_Play_Click();
}

void Frm_Main::seekBothBy(qint64 offsetMs)
{
    if (transportState() != TransportState::Stopped)
        m_playback->seekBy(offsetMs);
}

void Frm_Main::setChannelVolume(int channelIndex, double level)
{
    m_playback->setVolume(channelIndex, level);
    emit channelSettingsChanged();
}

void Frm_Main::setChannelMuted(int channelIndex, bool muted)
{
    m_playback->setMuted(channelIndex, muted);
    emit channelSettingsChanged();
}

void Frm_Main::setChannelLooping(int channelIndex, bool looping)
{
    m_playback->setLooping(channelIndex, looping);
    emit channelSettingsChanged();
}

void Frm_Main::setMatchLoudness(bool on)
{
    m_playback->setMatchLoudness(on);
    emit channelSettingsChanged();
}

void Frm_Main::setChannelOffset(int channelIndex, qint64 offsetMs)
{
    m_playback->setOffset(channelIndex, offsetMs);
    channelDescriptionChanged(channelIndex);
    emit channelOffsetChanged(channelIndex);
}

void Frm_Main::editChannelOffset(int channelIndex)
{
    whileDialogOpen([&] {
        OffsetBox box(channelIndex, m_playback->offsetMs(channelIndex),
                      [this, channelIndex](qint64 offsetMs) { setChannelOffset(channelIndex, offsetMs); }, this);
        box.exec();
    });
}

void Frm_Main::setSolo(int channelIndex)
{
    m_playback->setSolo(channelIndex);
    const int heard = m_playback->solo();
    for (int channel = 0; channel < Playback::ChannelCount; ++channel) {
        PictureButton *channelButton = button(channel == 0 ? SkinButton::Img_1 : SkinButton::Img_2);
        QGraphicsOpacityEffect *dimmed = nullptr;
        if (heard >= 0 && heard != channel) {
            dimmed = new QGraphicsOpacityEffect;
            dimmed->setOpacity(SilencedOpacity);
        }
        channelButton->setGraphicsEffect(dimmed); // the former one goes
        channelDescriptionChanged(channel);
    }
}

void Frm_Main::setChannelOutput(int channelIndex, const SoundServerOutput &output)
{
    m_channelOutputs[channelIndex] = output;
    m_playback->setOutput(channelIndex, output.name);
    channelDescriptionChanged(channelIndex);
}

SoundServerOutputs Frm_Main::outputs() const
{
    return m_components.listOutputs ? m_components.listOutputs() : SoundServerOutputs();
}

void Frm_Main::channelDescriptionChanged(int channelIndex)
{
    // A screen reader on the button hears of it.
    QAccessibleEvent changed(button(channelIndex == 0 ? SkinButton::Img_1 : SkinButton::Img_2),
                             QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void Frm_Main::whileDialogOpen(const std::function<void()> &run)
{
    // Told before the dialog shows and after it has closed, so that the
    // desktop's ways in, which the dialog's modality doesn't hold back, wait.
    if (m_dialogsOpen++ == 0)
        emit dialogOpenChanged(true);
    const auto closed = qScopeGuard([this] {
        if (--m_dialogsOpen == 0)
            emit dialogOpenChanged(false);
    });
    run();
}

void Frm_Main::Form_Initialize()
{
    // Qt needs no common-controls set-up. What it does need for the stored
    // and skin pictures is its JPEG reader; like the original step, a missing
    // one is reported but changes nothing.
    if (!QImageReader::supportedImageFormats().contains("jpeg"))
        qCWarning(lcApp) << "no JPEG image reader is installed; pictures will not show";
}

void Frm_Main::Form_Load()
{
    const SkinFolders folders = startupSkinFolders(m_components.programFolder(), Separator);
    AppFolder = folders.AppFolder;
    SkinFolder = folders.SkinFolder;
}

void Frm_Main::Form_MouseMove() { m_looks.backgroundMove(); }

void Frm_Main::Img_1_Click() { whileDialogOpen([this] { m_transport->channelClick(0); }); }
void Frm_Main::Img_1_MouseDown() { m_looks.mouseDown(SkinButton::Img_1); }
void Frm_Main::Img_1_MouseMove() { m_looks.mouseMove(SkinButton::Img_1); }
void Frm_Main::Img_2_Click() { whileDialogOpen([this] { m_transport->channelClick(1); }); }
void Frm_Main::Img_2_MouseDown() { m_looks.mouseDown(SkinButton::Img_2); }
void Frm_Main::Img_2_MouseMove() { m_looks.mouseMove(SkinButton::Img_2); }
void Frm_Main::Img_Stop_Click() { m_transport->stopClick(); }
void Frm_Main::Img_Pause_Click() { m_transport->pauseClick(); }
void Frm_Main::Img_Pause_MouseDown() { m_looks.mouseDown(SkinButton::Img_Pause); }
void Frm_Main::Img_Pause_MouseMove() { m_looks.mouseMove(SkinButton::Img_Pause); }
void Frm_Main::Img_Play_Click() { m_transport->playClick(); }
void Frm_Main::Img_Play_MouseDown() { m_looks.mouseDown(SkinButton::Img_Play); }
void Frm_Main::Img_Play_MouseMove() { m_looks.mouseMove(SkinButton::Img_Play); }
void Frm_Main::Img_Stop_MouseDown() { m_looks.mouseDown(SkinButton::Img_Stop); }
void Frm_Main::Img_Stop_MouseMove() { m_looks.mouseMove(SkinButton::Img_Stop); }

void Frm_Main::Mnu_About_Click()
{
    if (m_components.aboutSlot)
        m_components.aboutSlot->show();
}

void Frm_Main::Mnu_Help_Click()
{
    if (m_components.helpSlot)
        m_components.helpSlot->show();
}

void Frm_Main::Mnu_ChoseSkin_Click()
{
    whileDialogOpen([this] { Cmo_Img->showOpen(); });
    SkinFolder = skinFolderAfterChoice(SkinFolder, Cmo_Img->fileName(), AppFolder, Separator);
}

void Frm_Main::Mnu_Exit_Click()
{
    // Ends at once: no further handler runs, and nothing is stopped first.
    QCoreApplication::exit(0);
}

void Frm_Main::Mnu_Min_Click() { setWindowState(windowState() | Qt::WindowMinimized); }
void Frm_Main::Mnu_Open1_Click() { Img_1_Click(); }
void Frm_Main::Mnu_Open2_Click() { Img_2_Click(); }
void Frm_Main::Mnu_Pause_Click() { Img_Pause_Click(); }
void Frm_Main::Mnu_Play_Click() { Img_Play_Click(); }
void Frm_Main::Mnu_Stop_Click() { Img_Stop_Click(); }
