#include "output/pulse/PulseServerConnection.h"

#include "output/AudioClientConstants.h"
#include "output/pulse/PulseSampleFormat.h"

#include <pulse/rtclock.h>

#include <charconv>
#include <cstring>
#include <new>

namespace
{
constexpr char APPLICATION_NAME[] = "Larkspur";
constexpr char APPLICATION_ID[] = "larkspur";

void SignalLoop(pa_context*, void* pUser)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(pUser), 0);
}

struct WaitTimer
{
    pa_threaded_mainloop* pMainloop = nullptr;
    bool bFired = false;
};

void TimerFired(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* pUser)
{
    auto* pTimer = static_cast<WaitTimer*>(pUser);
    pTimer->bFired = true;
    pa_threaded_mainloop_signal(pTimer->pMainloop, 0);
}

// A whole number from a property; -1 when it is missing or not a number.
int32_t NumberProperty(const pa_proplist* pProperties, const char* pKey)
{
    const char* pText = pa_proplist_gets(pProperties, pKey);
    int32_t iValue = -1;
    if (pText == nullptr || std::from_chars(pText, pText + std::strlen(pText), iValue).ec != std::errc())
    {
        return -1;
    }
    return iValue;
}

PulseSinkInfo SinkInfoOf(const pa_sink_info& Info)
{
    PulseSinkInfo Sink;
    Sink.Name = Info.name != nullptr ? Info.name : "";
    Sink.Description =
        Info.description != nullptr && *Info.description != '\0' ? Info.description : Sink.Name;
    Sink.Format = StreamFormatForServerSample(Info.sample_spec);
    // PulseAudio names the card and device so; PipeWire's service adds its own keys.
    Sink.iAlsaCard = NumberProperty(Info.proplist, "alsa.card");
    Sink.iAlsaDevice = NumberProperty(Info.proplist, "alsa.device");
    if (Sink.iAlsaCard < 0)
    {
        Sink.iAlsaCard = NumberProperty(Info.proplist, "api.alsa.pcm.card");
        Sink.iAlsaDevice = NumberProperty(Info.proplist, "api.alsa.pcm.device");
    }
    if (Sink.iAlsaCard < 0 || Sink.iAlsaDevice < 0)
    {
        Sink.iAlsaCard = Sink.iAlsaDevice = -1;
    }
    return Sink;
}

struct SinkQuery
{
    pa_threaded_mainloop* pMainloop = nullptr;
    std::vector<PulseSinkInfo> Sinks;
};

void SinkArrived(pa_context*, const pa_sink_info* pInfo, int iEnd, void* pUser)
{
    auto* pQuery = static_cast<SinkQuery*>(pUser);
    if (iEnd == 0 && pInfo != nullptr)
    {
        pQuery->Sinks.push_back(SinkInfoOf(*pInfo));
    }
    else
    {
        pa_threaded_mainloop_signal(pQuery->pMainloop, 0);
    }
}

struct ServerQuery
{
    pa_threaded_mainloop* pMainloop = nullptr;
    std::string DefaultSink;
};

void ServerInfoArrived(pa_context*, const pa_server_info* pInfo, void* pUser)
{
    auto* pQuery = static_cast<ServerQuery*>(pUser);
    if (pInfo != nullptr && pInfo->default_sink_name != nullptr)
    {
        pQuery->DefaultSink = pInfo->default_sink_name;
    }
    pa_threaded_mainloop_signal(pQuery->pMainloop, 0);
}
} // namespace

int32_t PulseServerConnection::Connect(std::shared_ptr<PulseServerConnection>& pConnection)
{
    pConnection.reset();
    std::shared_ptr<PulseServerConnection> pNew(new (std::nothrow) PulseServerConnection());
    if (pNew == nullptr || (pNew->pMainloop = pa_threaded_mainloop_new()) == nullptr)
    {
        return AUDIO_E_OUTOFMEMORY;
    }
    if (pa_threaded_mainloop_start(pNew->pMainloop) < 0)
    {
        return AUDIO_E_FAIL;
    }
    {
        PulseLock Lock(pNew->pMainloop);
        // The desktop's volume control shows the player by these.
        pa_proplist* pProperties = pa_proplist_new();
        pa_proplist_sets(pProperties, PA_PROP_APPLICATION_NAME, APPLICATION_NAME);
        pa_proplist_sets(pProperties, PA_PROP_APPLICATION_ID, APPLICATION_ID);
        pa_proplist_sets(pProperties, PA_PROP_APPLICATION_ICON_NAME, APPLICATION_ID);
        pNew->pContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(pNew->pMainloop),
                                                      APPLICATION_NAME, pProperties);
        pa_proplist_free(pProperties);
        if (pNew->pContext == nullptr)
        {
            return AUDIO_E_OUTOFMEMORY;
        }
        pa_context_set_state_callback(pNew->pContext, SignalLoop, pNew->pMainloop);
        if (pa_context_connect(pNew->pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        {
            return AUDIO_E_NOTFOUND;
        }
        pa_context* pContext = pNew->pContext;
        if (!pNew->Wait([pContext] { return pa_context_get_state(pContext) == PA_CONTEXT_READY; },
                        REQUEST_TIMEOUT_MS))
        {
            return AUDIO_E_NOTFOUND;
        }
    }
    pConnection = std::move(pNew);
    return AUDIO_OK;
}

PulseServerConnection::~PulseServerConnection()
{
    if (pMainloop == nullptr)
    {
        return;
    }
    if (pContext != nullptr)
    {
        PulseLock Lock(pMainloop);
        pa_context_set_state_callback(pContext, nullptr, nullptr);
        pa_context_disconnect(pContext);
        pa_context_unref(pContext);
    }
    pa_threaded_mainloop_stop(pMainloop);
    pa_threaded_mainloop_free(pMainloop);
}

bool PulseServerConnection::Wait(const std::function<bool()>& Done, uint32_t uiMilliseconds)
{
    if (Done())
    {
        return true;
    }
    WaitTimer Timer{pMainloop, false};
    pa_time_event* pEvent = pa_context_rttime_new(
        pContext, pa_rtclock_now() + pa_usec_t{uiMilliseconds} * PA_USEC_PER_MSEC, TimerFired, &Timer);
    if (pEvent == nullptr)
    {
        return false;
    }
    while (!Done() && !Timer.bFired && PA_CONTEXT_IS_GOOD(pa_context_get_state(pContext)))
    {
        pa_threaded_mainloop_wait(pMainloop);
    }
    pa_threaded_mainloop_get_api(pMainloop)->time_free(pEvent);
    return Done();
}

bool PulseServerConnection::Complete(pa_operation* pOperation)
{
    if (pOperation == nullptr)
    {
        return false;
    }
    const bool bDone =
        Wait([pOperation] { return pa_operation_get_state(pOperation) != PA_OPERATION_RUNNING; },
             REQUEST_TIMEOUT_MS);
    if (!bDone)
    {
        // Its callback must not run after the caller's data has gone.
        pa_operation_cancel(pOperation);
    }
    const bool bCompleted = pa_operation_get_state(pOperation) == PA_OPERATION_DONE;
    pa_operation_unref(pOperation);
    return bCompleted;
}

bool PulseServerConnection::IsConnected()
{
    PulseLock Lock(pMainloop);
    return pa_context_get_state(pContext) == PA_CONTEXT_READY;
}

int32_t PulseServerConnection::ListSinks(std::vector<PulseSinkInfo>& Sinks)
{
    Sinks.clear();
    PulseLock Lock(pMainloop);
    SinkQuery Query{pMainloop, {}};
    if (!Complete(pa_context_get_sink_info_list(pContext, SinkArrived, &Query)))
    {
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    Sinks = std::move(Query.Sinks);
    return AUDIO_OK;
}

int32_t PulseServerConnection::FindSink(const std::string& Name, PulseSinkInfo& Sink)
{
    PulseLock Lock(pMainloop);
    SinkQuery Query{pMainloop, {}};
    // A name the server does not know fails the request (and ends it); the list stays empty.
    Complete(pa_context_get_sink_info_by_name(pContext, Name.c_str(), SinkArrived, &Query));
    if (Query.Sinks.empty())
    {
        return AUDIO_E_DEVICE_INVALIDATED;
    }
    Sink = std::move(Query.Sinks.front());
    return AUDIO_OK;
}

int32_t PulseServerConnection::GetDefaultSink(PulseSinkInfo& Sink)
{
    std::string Name;
    {
        PulseLock Lock(pMainloop);
        ServerQuery Query{pMainloop, {}};
        if (!Complete(pa_context_get_server_info(pContext, ServerInfoArrived, &Query)))
        {
            return AUDIO_E_DEVICE_INVALIDATED;
        }
        Name = std::move(Query.DefaultSink);
    }
    if (Name.empty())
    {
        return AUDIO_E_NOTFOUND;
    }
    const int32_t iFound = FindSink(Name, Sink);
    // A default that vanished in between: the server has no default now.
    return iFound == AUDIO_E_DEVICE_INVALIDATED && IsConnected() ? AUDIO_E_NOTFOUND : iFound;
}
