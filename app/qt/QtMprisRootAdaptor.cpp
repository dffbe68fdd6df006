#include "app/qt/QtMprisRootAdaptor.h"

#include "app/qt/QtMprisService.h"
#include "wave/AudioFileTypes.h"

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
    // The types of the supported files (the desktop entry declares them and a few aliases).
    uint32_t uiCount = 0;
    const AudioFileTypes::Type* pTypes = AudioFileTypes::List(uiCount);
    QStringList Types;
    for (uint32_t i = 0; i < uiCount; ++i)
    {
        if (!Types.contains(QString::fromLatin1(pTypes[i].pMimeType)))
        {
            Types.append(QString::fromLatin1(pTypes[i].pMimeType));
        }
    }
    return Types;
}
