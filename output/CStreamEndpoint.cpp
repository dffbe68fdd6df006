#include "output/CStreamEndpoint.h"

#include "output/CStreamAudioClient.h"
#include "runtime/TextConversion.h"

#include <new>
#include <utility>

CStreamEndpoint::CStreamEndpoint(std::u16string FriendlyName, int32_t bNameIsText, std::u16string Identifier,
                                 StreamOpener Open)
    : Name(std::move(FriendlyName)), bNameText(bNameIsText), Id(std::move(Identifier)),
      OpenStream(std::move(Open))
{
}

std::unique_ptr<SAudioEndpoint> CStreamEndpoint::FromUtf8(const std::string& Utf8Name,
                                                          const std::string& Utf8Id, StreamOpener Open)
{
    std::u16string Name = Utf8ToWide(Utf8Name);
    // Malformed bytes come back as replacement characters: such a name is no text to show.
    const int32_t bIsText = !Name.empty() && Name.find(u'\uFFFD') == std::u16string::npos ? 1 : 0;
    if (bIsText == 0)
    {
        Name.clear();
    }
    return std::unique_ptr<SAudioEndpoint>(
        new (std::nothrow) CStreamEndpoint(std::move(Name), bIsText, Utf8ToWide(Utf8Id), std::move(Open)));
}

int32_t CStreamEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    pAudioClient.reset();
    std::shared_ptr<SAudioStream> pStream;
    const int32_t iResult = OpenStream(pStream);
    if (iResult < 0)
    {
        return iResult;
    }
    if (pStream == nullptr)
    {
        return AUDIO_E_OUTOFMEMORY;
    }
    pAudioClient.reset(new (std::nothrow) CStreamAudioClient(std::move(pStream)));
    return pAudioClient != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CStreamEndpoint::GetFriendlyName(std::u16string& FriendlyName, int32_t& bIsText)
{
    FriendlyName = Name;
    bIsText = bNameText;
    return AUDIO_OK;
}

int32_t CStreamEndpoint::GetId(std::u16string& Identifier)
{
    Identifier = Id;
    return AUDIO_OK;
}
