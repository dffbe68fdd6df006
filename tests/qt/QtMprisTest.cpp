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
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The window's media controls on a private session bus, driven by a client as a desktop's media
// widget would: transport, position, metadata and the signals listeners rely on.

namespace
{
const QString PLAYER = QString::fromLatin1(QtMprisService::PLAYER_INTERFACE);
const QString PATH = QString::fromLatin1(QtMprisService::OBJECT_PATH);
const QString PROPERTIES = QStringLiteral("org.freedesktop.DBus.Properties");

// A session bus of the test's own, never the user's: started here, stopped by its process id.
struct PrivateBus
{
    QProcess Daemon;
    QString Address;

    PrivateBus()
    {
        const QString Program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (!Program.isEmpty())
        {
            Daemon.start(Program, {"--session", "--nofork", "--print-address"});
            for (int i = 0; i < 100 && !Daemon.canReadLine() && Daemon.state() != QProcess::NotRunning; ++i)
            {
                Daemon.waitForReadyRead(100);
            }
            Address = QString::fromUtf8(Daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus()
    {
        Daemon.terminate();
        Daemon.waitForFinished(10000);
    }
};

// An environment variable set (a null value: unset) for one test, then as it was.
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

// What the player announces.
class Listener : public QObject
{
    Q_OBJECT
public:
    QStringList Statuses;
    int iSeeks = 0;
public Q_SLOTS:
    void OnChanged(const QString&, const QVariantMap& Changed, const QStringList&)
    {
        if (Changed.contains("PlaybackStatus"))
        {
            Statuses << Changed.value("PlaybackStatus").toString();
        }
    }
    void OnSeeked(qlonglong) { ++iSeeks; }
};

// A call that lets the event loop run, so the player in this process answers; the reply's first
// argument.
QVariant Call(QDBusConnection& Bus, const QString& Interface, const QString& Method,
              const QVariantList& Arguments)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(QString::fromLatin1(QtMprisService::SERVICE_NAME),
                                                          PATH, Interface, Method);
    Message.setArguments(Arguments);
    return Bus.call(Message, QDBus::BlockWithGui, 10000).arguments().value(0);
}

QVariant Property(QDBusConnection& Bus, const QString& Name, const QString& Interface = PLAYER)
{
    return Call(Bus, PROPERTIES, QStringLiteral("Get"), {Interface, Name}).value<QDBusVariant>().variant();
}
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
        PlayerState::Instance().RestoreDefaultSettings();
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
        const auto File = TestFiles::Write(
            "mpris-tone.wav",
            WaveFileBuilder::PcmWave(std::vector<double>(2 * 44100 * 4, 0.25), 2, 44100, 16));
        ASSERT_EQ(Entry.GetDialog().OnFileDropped(TestFiles::Wide(File).c_str()), 1);
        PlaybackSession& Session = Entry.GetDialog().GetSession();

        QtMprisService Service(Entry.GetDialog(), Host);
        ASSERT_EQ(Service.Register(QDBusConnection::connectToBus(Daemon.Address, "mpris-player")), 1);
        EXPECT_EQ(Service.ServiceName(), QString::fromLatin1(QtMprisService::SERVICE_NAME));
        QDBusConnection Client = QDBusConnection::connectToBus(Daemon.Address, "mpris-client");
        Listener Heard;
        ASSERT_TRUE(Client.connect(Service.ServiceName(), PATH, PROPERTIES, "PropertiesChanged", &Heard,
                                   SLOT(OnChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(
            Client.connect(Service.ServiceName(), PATH, PLAYER, "Seeked", &Heard, SLOT(OnSeeked(qlonglong))));

        EXPECT_EQ(Property(Client, "Identity", "org.mpris.MediaPlayer2"), "Larkspur");
        EXPECT_EQ(Property(Client, "PlaybackStatus"), "Stopped");
        const auto Metadata = qdbus_cast<QVariantMap>(Property(Client, "Metadata"));
        EXPECT_EQ(Metadata.value("xesam:title"), "mpris-tone.wav");
        EXPECT_EQ(Metadata.value("mpris:length").toLongLong(), 4000000);
        const auto Track = qdbus_cast<QDBusObjectPath>(Metadata.value("mpris:trackid"));

        Call(Client, PLAYER, "PlayPause", {});
        EXPECT_EQ(Property(Client, "PlaybackStatus"), "Playing");
        Call(Client, PLAYER, "PlayPause", {});
        EXPECT_EQ(Property(Client, "PlaybackStatus"), "Paused");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return Heard.Statuses == QStringList({"Playing", "Paused"});
            }))
            << Heard.Statuses.join(' ').toStdString();

        // The middle of the file, on the file the player has; a stale track is not moved to.
        Call(Client, PLAYER, "SetPosition", {QVariant::fromValue(Track), qlonglong(2000000)});
        EXPECT_NEAR(Session.Seconds(Session.GetHeardPosition()), 2.0, 0.05);
        EXPECT_NEAR(Property(Client, "Position").toLongLong(), 2000000, 50000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Heard.iSeeks == 1; }));
        Call(Client, PLAYER, "SetPosition",
             {QVariant::fromValue(QDBusObjectPath("/org/larkspur/track/0")), 0LL});
        EXPECT_NEAR(Session.Seconds(Session.GetHeardPosition()), 2.0, 0.05);

        Call(Client, PLAYER, "Stop", {});
        EXPECT_EQ(Property(Client, "PlaybackStatus"), "Stopped");
        QDBusConnection::disconnectFromBus("mpris-client");
    }
    QDBusConnection::disconnectFromBus("mpris-player");
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
    EXPECT_EQ(Service.Register(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "mpris-nowhere")),
              0);
    QDBusConnection::disconnectFromBus("mpris-nowhere");
    QTemporaryDir EmptyRuntime;
    const EnvironmentOverride NoAddress("DBUS_SESSION_BUS_ADDRESS", QByteArray());
    const EnvironmentOverride NoSocket("XDG_RUNTIME_DIR", EmptyRuntime.path().toUtf8());
    EXPECT_EQ(Service.RegisterOnSessionBus(), 0);
    EXPECT_TRUE(Service.ServiceName().isEmpty());
}

#include "QtMprisTest.moc"
