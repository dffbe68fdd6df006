#pragma once

// The names under which worker threads receive their inputs: the render and capture workers of
// the sound stream, and the playback thread. Written once; the code that fills a table and the
// body that reads it both use these.
namespace WorkerParameterNames
{
// Render and capture workers.
constexpr const char16_t* AUDIO_CLIENT = u"pAudioClient";
constexpr const char16_t* AUDIO_RENDER_CLIENT = u"pAudioRenderClient";
constexpr const char16_t* AUDIO_CAPTURE_CLIENT = u"pAudioCaptureClient";
constexpr const char16_t* CHANNEL_COUNT = u"puiChannelCount";
constexpr const char16_t* MONAURAL_DEVICE = u"pbMonauralDevice";
constexpr const char16_t* BIT_COUNT = u"puiBitCount";
constexpr const char16_t* BUFFER_CALLBACK = u"BufferCallbackFunction";
constexpr const char16_t* USER_PARAMETER = u"pUserParameter";
constexpr const char16_t* TERMINATION_EVENT = u"pTerminationEvent";
constexpr const char16_t* EVENT_DRIVEN = u"pbEventDriven";
constexpr const char16_t* BUFFER_EVENT = u"pBufferEvent";
constexpr const char16_t* SOUND_STREAM_BUFFER = u"pSoundStreamBuffer";
constexpr const char16_t* DATA_BUFFER = u"pDataBuffer";
constexpr const char16_t* TIMER = u"pTimer";
constexpr const char16_t* LOCAL_BUFFER = u"pdfLocalBuffer";
constexpr const char16_t* QUANTIZER = u"pQuantizer";
// Render worker only, optional: events it sets after its first fill of the device buffer and when
// it ends.
constexpr const char16_t* PREFILL_EVENT = u"pPrefillEvent";
constexpr const char16_t* EXIT_EVENT = u"pExitEvent";

// The playback thread.
constexpr const char16_t* WAVE_FILE_READER = u"pWaveFileReader";
constexpr const char16_t* SAMPLING_FREQUENCY_CONVERTER = u"pSamplingFrequencyConverter";
constexpr const char16_t* INTELLIGENT_SOUND_BUFFER = u"pIntelligentSoundBuffer";
constexpr const char16_t* INPUT_SIGNAL_BUFFER = u"pdfInputSignalBuffer";
constexpr const char16_t* OUTPUT_SIGNAL_BUFFER = u"pdfOutputSignalBuffer";
// Optional: the player record the thread reads and reports to.
constexpr const char16_t* PLAYER_STATE = u"pPlayerState";
// Optional: the time-stretcher the frames pass through while the record asks to keep the pitch.
constexpr const char16_t* TIME_STRETCHER = u"pTimeStretcher";
// Optional: one device period of stereo frames, where the sound of the old mode waits while a change
// of the keep-pitch mode crossfades into the new one.
constexpr const char16_t* CROSSFADE_BUFFER = u"pdfCrossfadeBuffer";
} // namespace WorkerParameterNames
