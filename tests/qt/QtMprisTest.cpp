#include "app/dialog/ProgramEntry.h"
#include "app/player/PlayerState.h"
#include "app/qt/QtDialogHost.h"
#include "app/qt/QtMainDialogWindow.h"
#include "app/qt/QtMprisService.h"
#include "output/AudioClientConstants.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The window's media controls on a private session bus, driven by a client as a desktop's media
// widget would: transport, position, metadata and the signals listeners rely on.

namespace
{
// A session bus of the test's own, never the user's: started here, stopped by its process.
struct PrivateBus
{
    QProcess Daemon;
    QString Address;

    PrivateBus()
    {
        const QString Program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (Program.isEmpty())
        {
            return;
        }
        Daemon.start(Program, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address")});
        QElapsedTimer Clock;
        Clock.start();
        while (!Daemon.canReadLine() && Clock.elapsed() < 10000 && Daemon.state() != QProcess::NotRunning)
        {
            Daemon.waitForReadyRead(100);
        }
        Address = QString::fromUtf8(Daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        Daemon.terminate();
        if (!Daemon.waitForFinished(10000))
        {
            Daemon.kill();
            Daemon.waitForFinished(10000);
        }
    }
};

// An environment variable set (or, with a null value, unset) for one test, then as it was.
struct EnvironmentOverride
{
    const char* pName;
    bool bWasSet;
    QByteArray Old;

    EnvironmentOverride(const char* pName, const QByteArray& Value)
        : pName(pName), bWasSet(qEnvironmentVariableIsSet(pName)), Old(qgetenv(pName))
    {
        Value.isNull() ? qunsetenv(pName) : qputenv(pName, Value);
    }
    ~EnvironmentOverride() { bWasSet ? qputenv(pName, Old) : qunsetenv(pName); }
};

// Counts what the player announces.
class Listener : public QObject
{
    Q_OBJECT
public:
    QStringList Statuses;
    int iSeeks = 0;
public Q_SLOTS:
    void OnPropertiesChanged(const QString&, const QVariantMap& Changed, const QStringList&)
    {
        if (Changed.contains(QStringLiteral("PlaybackStatus")))
        {
            Statuses << Changed.value(QStringLiteral("PlaybackStatus")).toString();
        }
    }
    void OnSeeked(qlonglong) { ++iSeeks; }
};

bool WaitFor(const std::function<bool()>& Condition)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Condition() && Clock.elapsed() < 10000)
    {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return Condition();
}

class Client
{
public:
    Client(const QDBusConnection& Connection, const QString& Service) : Bus(Connection), Service(Service) {}

    // Calls that let the event loop run, so the player in this process answers.
    QDBusMessage Call(const QString& Interface, const QString& Method, const QVariantList& Arguments = {})
    {
        QDBusMessage Message = QDBusMessage::createMethodCall(
            Service, QString::fromLatin1(QtMprisService::OBJECT_PATH), Interface, Method);
        Message.setArguments(Arguments);
        return Bus.call(Message, QDBus::BlockWithGui, 10000);
    }
    QDBusMessage Player(const QString& Method, const QVariantList& Arguments = {})
    {
        return Call(QString::fromLatin1(QtMprisService::PLAYER_INTERFACE), Method, Arguments);
    }
    QVariant Property(const QString& Name)
    {
        const QDBusMessage Reply =
            Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QString::fromLatin1(QtMprisService::PLAYER_INTERFACE), Name});
        return Reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QDBusConnection Bus;
    QString Service;
};
} // namespace

TEST(QtMprisTest, TheDesktopsMediaControlsDriveTheWindow)
{
    PrivateBus Daemon;
    if (Daemon.Address.isEmpty())
    {
        GTEST_SKIP() << "dbus-daemon is not installed (package dbus-daemon): no private session bus";
    }
    const EnvironmentOverride PrivateAddress("DBUS_SESSION_BUS_ADDRESS", Daemon.Address.toUtf8());
    {
        PlayerState& State = PlayerState::Instance();
        State.RestoreDefaultSettings();
        auto pDevice = std::make_shared<VirtualAudioDevice>();
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
        pDevice->UseRealTimeClock(1);
        CVirtualAudioLayer Layer;
        Layer.AddDevice(pDevice);
        QtMainDialogWindow Window;
        QtDialogHost Host(Window);
        ProgramEntry Entry(&Layer, nullptr, Host, nullptr);
        ASSERT_EQ(Entry.Begin(), 1);
        Host.Open(Entry.GetDialog());
        const auto Path = TestFiles::Write(
            "mpris-tone.wav",
            WaveFileBuilder::PcmWave(std::vector<double>(2 * 44100 * 4, 0.25), 2, 44100, 16));
        ASSERT_EQ(Entry.GetDialog().OnFileDropped(TestFiles::Wide(Path).c_str()), 1);

        QtMprisService Service(Entry.GetDialog(), Host);
        ASSERT_EQ(
            Service.Register(QDBusConnection::connectToBus(Daemon.Address, QStringLiteral("mpris-player"))),
            1);
        EXPECT_EQ(Service.ServiceName(), QString::fromLatin1(QtMprisService::SERVICE_NAME));
        Client Remote(QDBusConnection::connectToBus(Daemon.Address, QStringLiteral("mpris-client")),
                      Service.ServiceName());
        Listener Heard;
        ASSERT_TRUE(Remote.Bus.connect(
            Service.ServiceName(), QString::fromLatin1(QtMprisService::OBJECT_PATH),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), &Heard,
            SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(Remote.Bus.connect(Service.ServiceName(),
                                       QString::fromLatin1(QtMprisService::OBJECT_PATH),
                                       QString::fromLatin1(QtMprisService::PLAYER_INTERFACE),
                                       QStringLiteral("Seeked"), &Heard, SLOT(OnSeeked(qlonglong))));

        EXPECT_EQ(Remote
                      .Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                            {QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")})
                      .arguments()
                      .value(0)
                      .value<QDBusVariant>()
                      .variant(),
                  QStringLiteral("Larkspur"));
        EXPECT_EQ(Remote.Property(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
        const QVariantMap Metadata = qdbus_cast<QVariantMap>(Remote.Property(QStringLiteral("Metadata")));
        EXPECT_EQ(Metadata.value(QStringLiteral("xesam:title")), QStringLiteral("mpris-tone.wav"));
        EXPECT_EQ(Metadata.value(QStringLiteral("mpris:length")).toLongLong(), 4000000);
        const auto Track = qdbus_cast<QDBusObjectPath>(Metadata.value(QStringLiteral("mpris:trackid")));

        Remote.Player(QStringLiteral("PlayPause"));
        EXPECT_EQ(Remote.Property(QStringLiteral("PlaybackStatus")), QStringLiteral("Playing"));
        Remote.Player(QStringLiteral("PlayPause"));
        EXPECT_EQ(Remote.Property(QStringLiteral("PlaybackStatus")), QStringLiteral("Paused"));
        EXPECT_TRUE(WaitFor(
            [&] {
                return Heard.Statuses == QStringList({"Playing", "Paused"});
            }))
            << Heard.Statuses.join(' ').toStdString();

        // The middle of the file, on the file the player has.
        Remote.Player(QStringLiteral("SetPosition"), {QVariant::fromValue(Track), qlonglong(2000000)});
        PlaybackSession& Session = Entry.GetDialog().GetSession();
        EXPECT_NEAR(Session.Seconds(Session.GetHeardPosition()), 2.0, 0.05);
        EXPECT_NEAR(Remote.Property(QStringLiteral("Position")).toLongLong(), 2000000, 50000);
        EXPECT_TRUE(WaitFor([&] { return Heard.iSeeks >= 1; }));
        // A stale track is not moved to.
        Remote.Player(
            QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/larkspur/track/0"))), qlonglong(0)});
        EXPECT_NEAR(Session.Seconds(Session.GetHeardPosition()), 2.0, 0.05);

        Remote.Player(QStringLiteral("Stop"));
        EXPECT_EQ(Remote.Property(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-client"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-player"));
}

// Without a session bus the window is left alone: nothing registered, nothing said.
TEST(QtMprisTest, NoSessionBusLeavesTheWindowAlone)
{
    PlayerState::Instance().RestoreDefaultSettings();
    CVirtualAudioLayer Layer;
    QtMainDialogWindow Window;
    QtDialogHost Host(Window);
    ProgramEntry Entry(&Layer, nullptr, Host, nullptr);
    ASSERT_EQ(Entry.Begin(), 1);
    QtMprisService Service(Entry.GetDialog(), Host);
    EXPECT_EQ(Service.Register(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                             QStringLiteral("mpris-nowhere"))),
              0);
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-nowhere"));
    QTemporaryDir EmptyRuntime;
    const EnvironmentOverride NoAddress("DBUS_SESSION_BUS_ADDRESS", QByteArray());
    const EnvironmentOverride NoSocket("XDG_RUNTIME_DIR", EmptyRuntime.path().toUtf8());
    EXPECT_EQ(Service.RegisterOnSessionBus(), 0);
    EXPECT_TRUE(Service.ServiceName().isEmpty());
}

#include "QtMprisTest.moc"
