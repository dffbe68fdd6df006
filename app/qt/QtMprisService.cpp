#include "app/qt/QtMprisService.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/DialogEvent.h"
#include "app/dialog/MainDialog.h"
#include "app/dialog/SDialogHost.h"
#include "app/qt/QtMprisPlayerAdaptor.h"
#include "app/qt/QtMprisRootAdaptor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <cmath>

namespace
{
const QString PLAYING = QStringLiteral("Playing");
const QString PAUSED = QStringLiteral("Paused");
const QString STOPPED = QStringLiteral("Stopped");
// A little above the fastest speed (x2.52): playing never moves the place on faster than this.
constexpr double FASTEST_SPEED = 3.0;
// Slack for the poll's own lateness and the place's granularity.
constexpr double JUMP_SLACK_SECONDS = 0.25;
constexpr double STILL_SLACK_SECONDS = 0.05;

DialogEvent MakeEvent(DialogEvent::Kind What, double dfValue = 0.0)
{
    DialogEvent Event;
    Event.What = What;
    Event.dfValue = dfValue;
    return Event;
}

qlonglong Microseconds(double dfSeconds)
{
    return static_cast<qlonglong>(std::llround(dfSeconds * 1e6));
}
} // namespace

QtMprisService::QtMprisService(MainDialog& Dialog, SDialogHost& Host)
    : Dialog(Dialog), Host(Host), pPlayer(new QtMprisPlayerAdaptor(*this)), Bus(QString())
{
    // The adaptors are children of this object: Qt owns them, and exports them with it.
    new QtMprisRootAdaptor(*this);
    PollTimer.setInterval(POLL_MILLISECONDS);
    connect(&PollTimer, &QTimer::timeout, this, [this]() { Poll(); });
}

QtMprisService::~QtMprisService()
{
    Unregister();
}

int32_t QtMprisService::RegisterOnSessionBus()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
    {
        // Without an address the bus library tries the runtime folder's socket and then launches a
        // bus of its own for the display; a window that only offers itself starts nothing.
        const QString RuntimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (RuntimeFolder.isEmpty() || !QFileInfo::exists(RuntimeFolder + QStringLiteral("/bus")))
        {
            return 0;
        }
    }
    return Register(QDBusConnection::sessionBus());
}

int32_t QtMprisService::Register(const QDBusConnection& NewBus)
{
    Unregister();
    if (!NewBus.isConnected())
    {
        return 0;
    }
    Bus = NewBus;
    if (!Bus.registerObject(QString::fromLatin1(OBJECT_PATH), this, QDBusConnection::ExportAdaptors))
    {
        return -1;
    }
    QString Wanted = QString::fromLatin1(SERVICE_NAME);
    if (!Bus.registerService(Wanted))
    {
        // Another instance has the plain name.
        Wanted += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!Bus.registerService(Wanted))
        {
            Bus.unregisterObject(QString::fromLatin1(OBJECT_PATH));
            return -1;
        }
    }
    Name = Wanted;
    LastStatus = PlaybackStatus();
    LastMetadata = Metadata();
    bLastCanPlay = CanPlay();
    dfLastPosition = PositionSeconds();
    SinceLastPoll.start();
    PollTimer.start();
    return 1;
}

void QtMprisService::Unregister()
{
    PollTimer.stop();
    if (Name.isEmpty())
    {
        return;
    }
    Bus.unregisterService(Name);
    Bus.unregisterObject(QString::fromLatin1(OBJECT_PATH));
    Name.clear();
}

QString QtMprisService::PlaybackStatus() const
{
    PlaybackSession& Session = Dialog.GetSession();
    if (Session.IsPaused() == 1)
    {
        return PAUSED;
    }
    return Session.IsPlaying() == 1 ? PLAYING : STOPPED;
}

QString QtMprisService::CurrentPath()
{
    PlaybackSession& Session = Dialog.GetSession();
    if (Session.GetRate() == 0)
    {
        TrackPath.clear();
        ullTrackLength = 0;
        return {};
    }
    const QString Path = QString::fromStdU16String(Host.GetItemText(DialogControlIds::ID_PATH_FIELD));
    if (Path != TrackPath || Session.GetLength() != ullTrackLength)
    {
        TrackPath = Path;
        ullTrackLength = Session.GetLength();
        ++uiTrackNumber;
    }
    return Path;
}

QDBusObjectPath QtMprisService::TrackId() const
{
    if (TrackPath.isEmpty())
    {
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    }
    return QDBusObjectPath(QStringLiteral("/org/larkspur/track/%1").arg(uiTrackNumber));
}

QVariantMap QtMprisService::Metadata()
{
    const QString Path = CurrentPath();
    QVariantMap Map;
    Map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
    if (Path.isEmpty())
    {
        return Map;
    }
    PlaybackSession& Session = Dialog.GetSession();
    Map.insert(QStringLiteral("mpris:length"), Microseconds(Session.Seconds(Session.GetLength())));
    Map.insert(QStringLiteral("xesam:title"), QFileInfo(Path).fileName());
    Map.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(Path).toString(QUrl::FullyEncoded));
    return Map;
}

double QtMprisService::PositionSeconds() const
{
    PlaybackSession& Session = Dialog.GetSession();
    return Session.GetRate() == 0 ? 0.0 : Session.Seconds(Session.GetHeardPosition());
}

qlonglong QtMprisService::Position() const
{
    return Microseconds(PositionSeconds());
}

bool QtMprisService::CanPlay() const
{
    return Dialog.GetSession().GetRate() != 0;
}

int32_t QtMprisService::Act(const DialogEvent& Event, bool bSeek)
{
    // A request whose message box is still open runs the event loop, which may bring the next
    // request: the window's own buttons cannot be clicked then either.
    if (bActing)
    {
        return 0;
    }
    bActing = true;
    const int32_t iResult = Dialog.OnUserEvent(Event);
    bActing = false;
    Poll(bSeek && iResult > 0);
    return iResult;
}

void QtMprisService::PlayPause()
{
    if (CanPlay())
    {
        Act(MakeEvent(DialogEvent::Kind::PlayPause));
    }
}

void QtMprisService::Play()
{
    if (CanPlay())
    {
        Act(MakeEvent(DialogEvent::Kind::Play));
    }
}

void QtMprisService::Pause()
{
    Act(MakeEvent(DialogEvent::Kind::Pause));
}

void QtMprisService::Stop()
{
    Act(MakeEvent(DialogEvent::Kind::Stop));
}

void QtMprisService::Seek(qlonglong llOffset)
{
    Act(MakeEvent(DialogEvent::Kind::SeekBy, static_cast<double>(llOffset) / 1e6), true);
}

void QtMprisService::SetPosition(const QDBusObjectPath& Track, qlonglong llPosition)
{
    // A request meant for a file that is no longer the player's is stale.
    CurrentPath();
    if (TrackPath.isEmpty() || Track != TrackId() || llPosition < 0)
    {
        return;
    }
    PlaybackSession& Session = Dialog.GetSession();
    const double dfSeconds = static_cast<double>(llPosition) / 1e6;
    if (dfSeconds > Session.Seconds(Session.GetLength()))
    {
        return;
    }
    Act(MakeEvent(DialogEvent::Kind::SeekToSeconds, dfSeconds), true);
}

void QtMprisService::OpenUri(const QString& Uri)
{
    const QUrl Url(Uri);
    if (!Url.isLocalFile())
    {
        return;
    }
    // A file is taken only while no playback runs, as with "..."; an opened file starts playing.
    if (PlaybackStatus() != STOPPED)
    {
        Act(MakeEvent(DialogEvent::Kind::Stop));
    }
    DialogEvent Open = MakeEvent(DialogEvent::Kind::OpenFile);
    Open.Path = Url.toLocalFile().toStdU16String();
    if (Act(Open) == 1)
    {
        Act(MakeEvent(DialogEvent::Kind::Play));
    }
}

void QtMprisService::Poll(bool bSeeked)
{
    if (Name.isEmpty())
    {
        return;
    }
    const bool bWasRunning = LastStatus != STOPPED;
    const QVariant LastTrack = LastMetadata.value(QStringLiteral("mpris:trackid"));
    QVariantMap Changed;
    const QString Status = PlaybackStatus();
    if (Status != LastStatus)
    {
        Changed.insert(QStringLiteral("PlaybackStatus"), Status);
        LastStatus = Status;
    }
    const QVariantMap Now = Metadata();
    if (Now != LastMetadata)
    {
        Changed.insert(QStringLiteral("Metadata"), Now);
        LastMetadata = Now;
    }
    const bool bCanPlay = CanPlay();
    if (bCanPlay != bLastCanPlay)
    {
        Changed.insert(QStringLiteral("CanPlay"), bCanPlay);
        bLastCanPlay = bCanPlay;
    }
    if (!Changed.isEmpty())
    {
        QDBusMessage Signal = QDBusMessage::createSignal(QString::fromLatin1(OBJECT_PATH),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        Signal << QString::fromLatin1(PLAYER_INTERFACE) << Changed << QStringList();
        Bus.send(Signal);
    }

    // Playing moves the place on at most at the fastest speed; a pause holds it. Anything else, on
    // the same file while it plays, is a jump listeners must hear of (they extrapolate otherwise).
    const double dfPosition = PositionSeconds();
    const double dfElapsed = static_cast<double>(SinceLastPoll.restart()) / 1000.0;
    const double dfMoved = dfPosition - dfLastPosition;
    const double dfMost =
        Status == PLAYING ? dfElapsed * FASTEST_SPEED + JUMP_SLACK_SECONDS : STILL_SLACK_SECONDS;
    const bool bJumped = bWasRunning && Status != STOPPED &&
                         LastTrack == Now.value(QStringLiteral("mpris:trackid")) &&
                         (dfMoved < -STILL_SLACK_SECONDS || dfMoved > dfMost);
    dfLastPosition = dfPosition;
    if (bSeeked || bJumped)
    {
        emit pPlayer->Seeked(Microseconds(dfPosition));
    }
}
