#pragma once
#include "runtime/CNonCopyable.h"
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <cstdint>

struct DialogEvent;
class MainDialog;
class SDialogHost;
class QtMprisPlayerAdaptor;

// The window as a media player on the session bus (/org/mpris/MediaPlayer2), so media keys, the
// desktop's media controls and command-line controllers reach it. Requests become the dialog's own
// user events, so they do what the buttons do; answers are read from the dialog's session when
// asked. Changes of state are noticed by a cheap poll and announced to the bus. UI thread only: the
// bus delivers calls on the thread that owns this object.
class QtMprisService : public QObject, private CNonCopyable
{
public:
    static constexpr const char* SERVICE_NAME = "org.mpris.MediaPlayer2.larkspur";
    static constexpr const char* OBJECT_PATH = "/org/mpris/MediaPlayer2";
    static constexpr const char* PLAYER_INTERFACE = "org.mpris.MediaPlayer2.Player";
    // How often the state is compared with what the bus was last told.
    static constexpr int POLL_MILLISECONDS = 200;

    // The dialog and its host (for the chosen file's path) must outlive the service.
    QtMprisService(MainDialog& Dialog, SDialogHost& Host);
    // Leaves the bus.
    ~QtMprisService() override;

    // On the user's session bus. 1 registered; 0 when there is no session bus (nothing happens and
    // nothing is said: the window works as without it); -1 when the bus refuses the object.
    int32_t RegisterOnSessionBus();
    // The same on a given connection (a private bus in the tests): 0 when it is not connected.
    int32_t Register(const QDBusConnection& NewBus);
    // The well-known name taken (the plain one, or one with this process's id when another
    // instance has it); empty while not registered.
    QString ServiceName() const { return Name; }

    // The player interface, for its adaptor. Positions and offsets in microseconds of the file.
    QString PlaybackStatus() const;
    QVariantMap Metadata();
    qlonglong Position() const;
    bool CanPlay() const;
    void PlayPause();
    void Play();
    void Pause();
    void Stop();
    void Seek(qlonglong llOffset);
    void SetPosition(const QDBusObjectPath& Track, qlonglong llPosition);
    void OpenUri(const QString& Uri);

private:
    // Hands a request to the dialog; 1 taken, 0 nothing done (or a request still running, as while
    // its message box is open).
    int32_t Act(const DialogEvent& Event, bool bSeek = false);
    // The chosen file's path, empty without a loaded file; a new file gets a new track number.
    QString CurrentPath();
    QDBusObjectPath TrackId() const;
    double PositionSeconds() const;
    // Every POLL_MILLISECONDS and after every request: the properties that changed, and a jump of
    // the place (a seek from here, the progress bar, practice keys, the loop's return) as a seek.
    void Poll(bool bSeeked = false);
    void Unregister();

    MainDialog& Dialog;
    SDialogHost& Host;
    QtMprisPlayerAdaptor* pPlayer = nullptr;
    QDBusConnection Bus;
    QString Name;
    QTimer PollTimer;
    QString TrackPath;
    uint64_t ullTrackLength = 0;
    uint32_t uiTrackNumber = 0;
    // What the bus was last told.
    QString LastStatus;
    QVariantMap LastMetadata;
    bool bLastCanPlay = false;
    double dfLastPosition = 0.0;
    QElapsedTimer SinceLastPoll;
    bool bActing = false;
};
