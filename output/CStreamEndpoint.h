#pragma once
#include "output/SAudioEndpoint.h"
#include "output/SAudioStream.h"

#include <functional>
#include <memory>
#include <string>

// An output endpoint of a back end that supplies streams: named and identified when it is listed;
// each activation opens a new stream on it, behind a CStreamAudioClient.
class CStreamEndpoint : public SAudioEndpoint
{
public:
    // A new stream for a new client; negative when none can be had (the endpoint has gone).
    using StreamOpener = std::function<int32_t(std::shared_ptr<SAudioStream>& pStream)>;

    // bNameIsText 0: the name property holds no text (Name is empty then).
    CStreamEndpoint(std::u16string FriendlyName, int32_t bNameIsText, std::u16string Identifier,
                    StreamOpener Open);
    // An endpoint named in UTF-8 as a back end got it: its name is text when it is non-empty and
    // well-formed, and otherwise none (a list then shows "Unknown").
    static std::unique_ptr<SAudioEndpoint> FromUtf8(const std::string& Utf8Name, const std::string& Utf8Id,
                                                    StreamOpener Open);

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    const std::u16string Name;
    const int32_t bNameText;
    const std::u16string Id;
    const StreamOpener OpenStream;
};
