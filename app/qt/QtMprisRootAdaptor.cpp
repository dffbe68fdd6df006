#include "app/qt/QtMprisRootAdaptor.h"

#include "app/qt/QtMprisService.h"

QtMprisRootAdaptor::QtMprisRootAdaptor(QtMprisService& Service) : QDBusAbstractAdaptor(&Service) {}

QString QtMprisRootAdaptor::GetIdentity() const
{
    return QStringLiteral("Larkspur");
}

QString QtMprisRootAdaptor::GetDesktopEntry() const
{
    // dist/larkspur.desktop
    return QStringLiteral("larkspur");
}

QStringList QtMprisRootAdaptor::GetSupportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList QtMprisRootAdaptor::GetSupportedMimeTypes() const
{
    // The types the desktop entry declares.
    return {QStringLiteral("audio/x-wav"), QStringLiteral("audio/wav"), QStringLiteral("audio/vnd.wave")};
}
