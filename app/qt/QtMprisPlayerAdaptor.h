#pragma once
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

class QtMprisService;

// The transport on the session bus: every call goes to the service, which turns it into the dialog's
// requests; every property is read from the dialog's session when asked. Speed is the window's own
// slider, so the rate offered here is fixed at 1.
class QtMprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ GetPlaybackStatus)
    Q_PROPERTY(double Rate READ GetRate)
    Q_PROPERTY(double MinimumRate READ GetRate)
    Q_PROPERTY(double MaximumRate READ GetRate)
    Q_PROPERTY(QVariantMap Metadata READ GetMetadata)
    Q_PROPERTY(double Volume READ GetVolume)
    Q_PROPERTY(qlonglong Position READ GetPosition)
    Q_PROPERTY(bool CanGoNext READ GetCanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ GetCanGoPrevious)
    Q_PROPERTY(bool CanPlay READ GetCanPlay)
    Q_PROPERTY(bool CanPause READ GetCanPause)
    Q_PROPERTY(bool CanSeek READ GetCanSeek)
    Q_PROPERTY(bool CanControl READ GetCanControl)

public:
    explicit QtMprisPlayerAdaptor(QtMprisService& Service);

    QString GetPlaybackStatus() const;
    double GetRate() const { return 1.0; }
    QVariantMap GetMetadata() const;
    double GetVolume() const { return 1.0; }
    qlonglong GetPosition() const;
    bool GetCanGoNext() const { return false; }
    bool GetCanGoPrevious() const { return false; }
    bool GetCanPlay() const;
    bool GetCanPause() const { return true; }
    bool GetCanSeek() const { return true; }
    bool GetCanControl() const { return true; }

public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void PlayPause();
    void Play();
    void Pause();
    void Stop();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

Q_SIGNALS:
    // The place moved other than by playing on (microseconds of the file).
    void Seeked(qlonglong Position);

private:
    QtMprisService& Service;
};
