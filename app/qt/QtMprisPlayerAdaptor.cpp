#include "app/qt/QtMprisPlayerAdaptor.h"

#include "app/qt/QtMprisService.h"

QtMprisPlayerAdaptor::QtMprisPlayerAdaptor(QtMprisService& Service)
    : QDBusAbstractAdaptor(&Service), Service(Service)
{
}

QString QtMprisPlayerAdaptor::GetPlaybackStatus() const
{
    return Service.PlaybackStatus();
}

QVariantMap QtMprisPlayerAdaptor::GetMetadata() const
{
    return Service.Metadata();
}

qlonglong QtMprisPlayerAdaptor::GetPosition() const
{
    return Service.Position();
}

bool QtMprisPlayerAdaptor::GetCanPlay() const
{
    return Service.CanPlay();
}

void QtMprisPlayerAdaptor::PlayPause()
{
    Service.PlayPause();
}

void QtMprisPlayerAdaptor::Play()
{
    Service.Play();
}

void QtMprisPlayerAdaptor::Pause()
{
    Service.Pause();
}

void QtMprisPlayerAdaptor::Stop()
{
    Service.Stop();
}

void QtMprisPlayerAdaptor::Seek(qlonglong Offset)
{
    Service.Seek(Offset);
}

void QtMprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
{
    Service.SetPosition(TrackId, Position);
}

void QtMprisPlayerAdaptor::OpenUri(const QString& Uri)
{
    Service.OpenUri(Uri);
}
