#pragma once
#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>

// Owning handles for the ALSA objects the back end uses, each freed by its own ALSA call.
struct AlsaPcmCloser
{
    void operator()(snd_pcm_t* pPcm) const { snd_pcm_close(pPcm); }
};
struct AlsaCtlCloser
{
    void operator()(snd_ctl_t* pCtl) const { snd_ctl_close(pCtl); }
};
struct AlsaHwParamsFreer
{
    void operator()(snd_pcm_hw_params_t* pParams) const { snd_pcm_hw_params_free(pParams); }
};
struct AlsaSwParamsFreer
{
    void operator()(snd_pcm_sw_params_t* pParams) const { snd_pcm_sw_params_free(pParams); }
};
struct AlsaPcmInfoFreer
{
    void operator()(snd_pcm_info_t* pInfo) const { snd_pcm_info_free(pInfo); }
};
struct AlsaCardInfoFreer
{
    void operator()(snd_ctl_card_info_t* pInfo) const { snd_ctl_card_info_free(pInfo); }
};
struct AlsaHintsFreer
{
    void operator()(void** ppHints) const { snd_device_name_free_hint(ppHints); }
};
// Texts ALSA hands over with malloc.
struct AlsaTextFreer
{
    void operator()(char* pText) const { std::free(pText); }
};

using AlsaPcmHandle = std::unique_ptr<snd_pcm_t, AlsaPcmCloser>;
using AlsaCtlHandle = std::unique_ptr<snd_ctl_t, AlsaCtlCloser>;
using AlsaHwParams = std::unique_ptr<snd_pcm_hw_params_t, AlsaHwParamsFreer>;
using AlsaSwParams = std::unique_ptr<snd_pcm_sw_params_t, AlsaSwParamsFreer>;
using AlsaPcmInfo = std::unique_ptr<snd_pcm_info_t, AlsaPcmInfoFreer>;
using AlsaCardInfo = std::unique_ptr<snd_ctl_card_info_t, AlsaCardInfoFreer>;
using AlsaHints = std::unique_ptr<void*, AlsaHintsFreer>;
using AlsaText = std::unique_ptr<char, AlsaTextFreer>;

// Allocates a parameter or info record; null when ALSA cannot.
inline AlsaHwParams MakeAlsaHwParams()
{
    snd_pcm_hw_params_t* pParams = nullptr;
    return AlsaHwParams(snd_pcm_hw_params_malloc(&pParams) == 0 ? pParams : nullptr);
}
inline AlsaSwParams MakeAlsaSwParams()
{
    snd_pcm_sw_params_t* pParams = nullptr;
    return AlsaSwParams(snd_pcm_sw_params_malloc(&pParams) == 0 ? pParams : nullptr);
}
inline AlsaPcmInfo MakeAlsaPcmInfo()
{
    snd_pcm_info_t* pInfo = nullptr;
    return AlsaPcmInfo(snd_pcm_info_malloc(&pInfo) == 0 ? pInfo : nullptr);
}
inline AlsaCardInfo MakeAlsaCardInfo()
{
    snd_ctl_card_info_t* pInfo = nullptr;
    return AlsaCardInfo(snd_ctl_card_info_malloc(&pInfo) == 0 ? pInfo : nullptr);
}
