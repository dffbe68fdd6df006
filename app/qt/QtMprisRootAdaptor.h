#pragma once
#include <QDBusAbstractAdaptor>
#include <QString>
#include <QStringList>

class QtMprisService;

// The media player's own interface on the session bus: who we are and what we open. The window is
// neither raised nor closed from outside (it is a modal dialog the user owns).
class QtMprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ GetCanQuit)
    Q_PROPERTY(bool CanRaise READ GetCanRaise)
    Q_PROPERTY(bool HasTrackList READ GetHasTrackList)
    Q_PROPERTY(QString Identity READ GetIdentity)
    Q_PROPERTY(QString DesktopEntry READ GetDesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ GetSupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ GetSupportedMimeTypes)

public:
    explicit QtMprisRootAdaptor(QtMprisService& Service);

    bool GetCanQuit() const { return false; }
    bool GetCanRaise() const { return false; }
    bool GetHasTrackList() const { return false; }
    QString GetIdentity() const;
    QString GetDesktopEntry() const;
    QStringList GetSupportedUriSchemes() const;
    QStringList GetSupportedMimeTypes() const;

public Q_SLOTS:
    void Raise() {}
    void Quit() {}
};
