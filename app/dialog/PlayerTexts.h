#pragma once
#include "LarkspurVersion.h"

#include <cstdint>
#include <string>

// The languages the player speaks. Japanese is the original: every text was written in it first.
enum class PlayerLanguage : uint32_t
{
    Japanese,
    English,
};

// One text the player shows a user, in both languages. It reads as the text of the language the
// program chose at its start, so a use looks like a plain string. Kept in 16-bit units; front ends
// that print them convert at the boundary.
struct PlayerText
{
    const char* pName;
    const char16_t* pJapanese;
    const char16_t* pEnglish;

    const char16_t* In(PlayerLanguage Language) const
    {
        return Language == PlayerLanguage::English ? pEnglish : pJapanese;
    }
    const char16_t* Get() const;
    operator const char16_t*() const { return Get(); }
    bool operator==(const std::u16string& Text) const { return Text == Get(); }
};

// Every text of the dialogs, the messages and the terminal player: its name, the Japanese original,
// the English. One line per text; a format's English keeps the original's conversions in their
// order. The texts that are the same in every language (the title, the number formats) follow the
// table as plain constants.
// clang-format off
#define LARKSPUR_PLAYER_TEXTS(TEXT) \
    /* Message captions. */ \
    TEXT(CAPTION_ERROR, u"エラー", u"Error") \
    TEXT(CAPTION_THREAD_ERROR, u"Error", u"Error") \
    /* Messages; CAPACITY_LIMIT_FAILED has no closing full stop. */ \
    TEXT(FILE_REFUSED, u"ファイル形式が不明または壊れています。このファイルは読み込めません。", u"The file's format is unknown or the file is damaged. This file cannot be read.") \
    TEXT(DEVICE_NOT_INITIALISED, u"出力先のオーディオデバイスを初期化できませんでした。", u"The output audio device could not be initialised.") \
    TEXT(CONVERTER_FAILED, u"サンプリング周波数コンバータの初期化に失敗しました。", u"The sampling frequency converter could not be initialised.") \
    TEXT(INPUT_BUFFER_FAILED, u"入力バッファーの初期化に失敗しました。", u"The input buffer could not be initialised.") \
    TEXT(OUTPUT_BUFFER_FAILED, u"出力バッファーの初期化に失敗しました。", u"The output buffer could not be initialised.") \
    TEXT(THREAD_START_FAILED, u"音再生スレッドの起動に失敗しました。", u"The sound playback thread could not be started.") \
    TEXT(DEVICE_NOT_ACTIVATED, u"出力先のオーディオデバイスをアクティベートできませんでした。", u"The output audio device could not be activated.") \
    TEXT(DEVICE_START_FAILED, u"出力先デバイスで問題が発生し、再生を開始できませんでした。", u"A problem occurred on the output device, and playback could not start.") \
    TEXT(SOUND_BUFFER_FAILED, u"リアルタイムオーディオバッファーの初期化中に問題が発生しました。", u"A problem occurred while initialising the real-time audio buffer.") \
    TEXT(CAPACITY_LIMIT_FAILED, u"バッファーサイズの制限処理中に問題が発生しました", u"A problem occurred while limiting the buffer size") \
    TEXT(BUFFER_SIZE_FAILED, u"バッファーサイズの設定中に問題が発生しました。", u"A problem occurred while setting the buffer size.") \
    /* Dialog captions and labels. */ \
    TEXT(PLAY, u"再生", u"Play") \
    TEXT(STOP, u"停止", u"Stop") \
    TEXT(PAUSE, u"一時停止", u"Pause") \
    TEXT(AUDIO_DATA_GROUP, u"音声データ", u"Audio data") \
    TEXT(CHOOSE_FILE, u"...", u"...") \
    TEXT(FILE_LABEL, u"ファイル:", u"File:") \
    TEXT(OUTPUT_DEVICE_GROUP, u"出力先デバイス", u"Output device") \
    TEXT(MAXIMUM_RATE_LABEL, u"許容最大サンプリング周波数: ", u"Highest sampling rate: ") \
    TEXT(EFFECTIVE_BITS_LABEL, u"有効な量子化ビット数: ", u"Effective bits: ") \
    TEXT(ENHANCER, u"分解能エンハンサー", u"Res. enhancer") \
    TEXT(BIT_UNIT, u"bit", u"bit") \
    TEXT(INITIAL_SPEED_LABEL, u"x1.00", u"x1.00") \
    TEXT(INITIAL_VOLUME_LABEL, u"dB", u"dB") \
    TEXT(SETTINGS, u"設定", u"Setup") \
    TEXT(DEFAULT_DEVICE, u"既定のオーディオ再生デバイス", u"Default playback device") \
    /* The two information lists. */ \
    TEXT(COLUMN_ITEM, u"項目", u"Item") \
    TEXT(COLUMN_VALUE, u"値", u"Value") \
    TEXT(ROW_SAMPLING_FREQUENCY, u"サンプリング周波数 (Hz)", u"Sampling rate (Hz)") \
    TEXT(ROW_CHANNELS, u"チャンネル数", u"Channels") \
    TEXT(ROW_BITS, u"量子化ビット数", u"Bits per sample") \
    TEXT(ROW_LENGTH, u"データ長 (秒)", u"Length (s)") \
    TEXT(ROW_LOGICAL_BITS, u"論理量子化ビット数", u"Logical bits") \
    TEXT(ROW_MODE, u"動作モード", u"Mode") \
    TEXT(MODE_EXCLUSIVE, u"排他モード", u"Exclusive") \
    TEXT(MODE_SHARED, u"共有モード", u"Shared") \
    /* The file dialog's filter. */ \
    TEXT(FILE_FILTER_NAME, u"Wave Data File(*.wav)", u"Wave Data File(*.wav)") \
    /* The progress bar's menu (its keys after the tab) and tooltip. */ \
    TEXT(MENU_LOOP_START, u"ループ開始\tA", u"Loop start\tA") \
    TEXT(MENU_LOOP_END, u"ループ終了\tB", u"Loop end\tB") \
    TEXT(MENU_LOOP_CLEAR, u"ループ解除\tL", u"Clear loop\tL") \
    TEXT(MENU_TRAINER, u"スピードトレーナー\tT", u"Speed trainer\tT") \
    TEXT(TOOLTIP_LOOP_FORMAT, u"ループ A %s – B %s（%u 回目）", u"Loop A %s – B %s (pass %u)") \
    TEXT(TOOLTIP_LOOP_START_FORMAT, u"ループ開始 %s", u"Loop start %s") \
    TEXT(TOOLTIP_TRAINER_NEXT_FORMAT, u"スピードトレーナー: 次は x%.2lf", u"Speed trainer: next x%.2lf") \
    TEXT(TOOLTIP_TRAINER_DONE_FORMAT, u"スピードトレーナー: x%.2lf に到達", u"Speed trainer: reached x%.2lf") \
    /* The terminal player's state words and practice line. */ \
    TEXT(STATE_PLAYING, u"再生", u"playing") \
    TEXT(STATE_PAUSED, u"一時停止", u"paused") \
    TEXT(STATE_STOPPED, u"停止", u"stopped") \
    TEXT(STATUS_LOOP_FORMAT, u"A %s B %s %s 回目", u"A %s B %s rep %s") \
    TEXT(STATUS_TRAINER_NEXT_FORMAT, u" 次 x%.2lf", u" next x%.2lf") \
    TEXT(STATUS_TRAINER_AT_FORMAT, u" x%.2lf に到達", u" at x%.2lf") \
    TEXT(STATUS_TRAINER_ON, u"トレーナー オン", u"trainer on") \
    TEXT(NOTICE_PAST_THE_END_FORMAT, u"そこまで進めません: ファイルは %s で終わります", u"not that far: the file ends at %s") \
    TEXT(NOTICE_LOOP_ORDER, u"ループできません: B は A より後に", u"loop refused: B must come after A") \
    TEXT(NOTICE_LOOP_TOO_SHORT, u"ループできません: 0.5 秒より短い", u"loop refused: shorter than 0.5 s") \
    TEXT(NOTICE_LOOP_NEEDS_START, u"先に a でループの開始を", u"mark the loop's start with a first") \
    TEXT(NOTICE_TRAINER_ON_FORMAT, u"トレーナー オン: +%d ずつ %u 回ごと x%.2lf まで", u"trainer on: +%d every %u until x%.2lf") \
    TEXT(NOTICE_TRAINER_OFF, u"トレーナー オフ", u"trainer off") \
    TEXT(NOTICE_TRAINER_AT_TARGET_FORMAT, u"トレーナー: すでに目標の x%.2lf", u"trainer: already at its target x%.2lf") \
    /* The file dialog's first filter: every supported file. */ \
    TEXT(FILE_FILTER_ALL_NAME, u"音声ファイル", u"Audio Files") \
    /* The progress bar's menu and tooltip: keep pitch, nudges, markers, run-up, kept practice. */ \
    TEXT(MENU_KEEP_PITCH, u"音程を保つ\tK", u"Keep pitch\tK") \
    TEXT(MENU_NUDGE_START_EARLIER, u"A を 10 ms 前へ\tZ", u"A 10 ms earlier\tZ") \
    TEXT(MENU_NUDGE_START_LATER, u"A を 10 ms 後へ\tX", u"A 10 ms later\tX") \
    TEXT(MENU_NUDGE_START_EARLIER_FAR, u"A を 100 ms 前へ\tS", u"A 100 ms earlier\tS") \
    TEXT(MENU_NUDGE_START_LATER_FAR, u"A を 100 ms 後へ\tD", u"A 100 ms later\tD") \
    TEXT(MENU_NUDGE_END_EARLIER, u"B を 10 ms 前へ\tC", u"B 10 ms earlier\tC") \
    TEXT(MENU_NUDGE_END_LATER, u"B を 10 ms 後へ\tV", u"B 10 ms later\tV") \
    TEXT(MENU_NUDGE_END_EARLIER_FAR, u"B を 100 ms 前へ\tF", u"B 100 ms earlier\tF") \
    TEXT(MENU_NUDGE_END_LATER_FAR, u"B を 100 ms 後へ\tG", u"B 100 ms later\tG") \
    TEXT(MENU_MARKER_ADD, u"マーカーを追加\tM", u"Add marker\tM") \
    TEXT(MENU_MARKER_REMOVE, u"近くのマーカーを削除\tE", u"Remove nearest marker\tE") \
    TEXT(TOOLTIP_NUDGED_START_FORMAT, u"ループ開始 → %s", u"Loop start → %s") \
    TEXT(TOOLTIP_NUDGED_END_FORMAT, u"ループ終了 → %s", u"Loop end → %s") \
    TEXT(TOOLTIP_RUN_UP_FORMAT, u"助走 %.1lf 秒（最初だけ）", u"Run-up %.1lf s (first pass)") \
    TEXT(TOOLTIP_RUN_UP_EVERY_FORMAT, u"助走 %.1lf 秒（毎回）", u"Run-up %.1lf s (every pass)") \
    TEXT(TOOLTIP_MARKERS_FORMAT, u"マーカー %u/%u", u"Markers %u/%u") \
    TEXT(TOOLTIP_STATE_DAMAGED, u"保存された練習の状態が壊れていたため、使いませんでした", u"The saved practice was damaged and was not used") \
    TEXT(TOOLTIP_KEEP_PITCH, u"音程を保つ（テンポだけが変わる）", u"Keep pitch (only the tempo changes)") \
    /* The terminal player: keep pitch, nudges, run-up, markers, kept practice. */ \
    TEXT(STATUS_KEEP_PITCH, u"音程保持", u"pitch kept") \
    TEXT(NOTICE_NUDGED_START_FORMAT, u"A を %s へ", u"A now %s") \
    TEXT(NOTICE_NUDGED_END_FORMAT, u"B を %s へ", u"B now %s") \
    TEXT(NOTICE_NUDGE_NEEDS_LOOP, u"先に a と b でループを", u"set a loop with a and b first") \
    TEXT(NOTICE_NUDGE_PAST_THE_FILE, u"動かせません: ループがファイルの外に出ます", u"not moved: the loop would leave the file") \
    TEXT(NOTICE_RUN_UP_OFF, u"助走 オフ", u"run-up off") \
    TEXT(NOTICE_RUN_UP_FIRST_FORMAT, u"助走 %.1lf 秒（最初だけ）", u"run-up %.1lf s before the first repetition") \
    TEXT(NOTICE_RUN_UP_EVERY_FORMAT, u"助走 %.1lf 秒（毎回）", u"run-up %.1lf s before every repetition") \
    TEXT(NOTICE_MARKER_ADDED_FORMAT, u"マーカー %s を追加", u"marker %s added") \
    TEXT(NOTICE_MARKER_REMOVED_FORMAT, u"マーカーを削除、残り %u", u"marker removed, %u left") \
    TEXT(NOTICE_MARKERS_FULL_FORMAT, u"これ以上マーカーを置けません: 最大 %u", u"no more markers: %u is the most") \
    TEXT(NOTICE_NO_MARKERS, u"マーカーがありません: m で置きます", u"no markers: m drops one") \
    TEXT(NOTICE_NO_MARKER_THAT_WAY, u"その方向にマーカーはありません", u"no marker that way") \
    TEXT(NOTICE_STATE_DAMAGED, u"このファイルの保存された練習は壊れていたため、無視します", u"the kept practice of this file was damaged; it is ignored") \
    TEXT(NOTICE_KEEP_PITCH_ON, u"音程保持 オン: 速度はテンポだけを変えます", u"keep pitch on: the speed changes the tempo only") \
    TEXT(NOTICE_KEEP_PITCH_OFF, u"音程保持 オフ: 音程は速度に従います", u"keep pitch off: the pitch follows the speed")
// clang-format on

namespace PlayerTexts
{
#define LARKSPUR_DECLARE_PLAYER_TEXT(Name, Japanese, English)                                                \
    inline constexpr PlayerText Name{#Name, Japanese, English};
LARKSPUR_PLAYER_TEXTS(LARKSPUR_DECLARE_PLAYER_TEXT)
#undef LARKSPUR_DECLARE_PLAYER_TEXT

#define LARKSPUR_LIST_PLAYER_TEXT(Name, Japanese, English) &Name,
// The whole table, for the checks that walk it.
inline constexpr const PlayerText* ALL[] = {LARKSPUR_PLAYER_TEXTS(LARKSPUR_LIST_PLAYER_TEXT)};
#undef LARKSPUR_LIST_PLAYER_TEXT

// The language of every text from now on; Japanese until a front end chooses at its start.
void SetLanguage(PlayerLanguage Language);
PlayerLanguage Language();

constexpr const char16_t* DISPLAY_NAME = u"Larkspur";
constexpr const char16_t* VERSION = u"" LARKSPUR_VERSION_TEXT;
constexpr const char16_t* TITLE_FORMAT = u"%s v%s";
constexpr const char16_t* TITLE_WITH_SHIFT_FORMAT = u"%s v%s (Shift: %i)";
constexpr const char16_t* SPEED_LABEL_FORMAT = u"x%.4lf";
constexpr const char16_t* VOLUME_LABEL_FORMAT = u"-%d.%d dB";
// Values of the information lists.
constexpr const char16_t* FREQUENCY_FORMAT = u"%.0lf";
constexpr const char16_t* COUNT_FORMAT = u"%d";
constexpr const char16_t* SECONDS_FORMAT = u"%.3lf";
constexpr const char16_t* FILE_FILTER_PATTERN = u"*.wav";
constexpr const char16_t* TOOLTIP_PLACE_FORMAT = u"%s / %s";
// The file list's bits for a file that has none (lossy codings).
constexpr const char16_t* NO_BITS = u"-";
} // namespace PlayerTexts
