#pragma once
#include "LarkspurVersion.h"

// Every text the player shows a user: the dialog's captions and labels, the list items, the
// messages and their captions. Kept in 16-bit units; front ends that print them convert at the
// boundary.
namespace PlayerTexts
{
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

// Message captions.
constexpr const char16_t* CAPTION_ERROR = u"エラー";
constexpr const char16_t* CAPTION_THREAD_ERROR = u"Error";

// Messages.
constexpr const char16_t* FILE_REFUSED =
    u"ファイル形式が不明または壊れています。このファイルは読み込めません。";
constexpr const char16_t* DEVICE_NOT_INITIALISED = u"出力先のオーディオデバイスを初期化できませんでした。";
constexpr const char16_t* CONVERTER_FAILED = u"サンプリング周波数コンバータの初期化に失敗しました。";
constexpr const char16_t* INPUT_BUFFER_FAILED = u"入力バッファーの初期化に失敗しました。";
constexpr const char16_t* OUTPUT_BUFFER_FAILED = u"出力バッファーの初期化に失敗しました。";
constexpr const char16_t* THREAD_START_FAILED = u"音再生スレッドの起動に失敗しました。";
constexpr const char16_t* DEVICE_NOT_ACTIVATED =
    u"出力先のオーディオデバイスをアクティベートできませんでした。";
constexpr const char16_t* DEVICE_START_FAILED = u"出力先デバイスで問題が発生し、再生を開始できませんでした。";
constexpr const char16_t* SOUND_BUFFER_FAILED =
    u"リアルタイムオーディオバッファーの初期化中に問題が発生しました。";
// This one has no closing full stop.
constexpr const char16_t* CAPACITY_LIMIT_FAILED = u"バッファーサイズの制限処理中に問題が発生しました";
constexpr const char16_t* BUFFER_SIZE_FAILED = u"バッファーサイズの設定中に問題が発生しました。";

// Dialog captions and labels.
constexpr const char16_t* PLAY = u"再生";
constexpr const char16_t* STOP = u"停止";
constexpr const char16_t* PAUSE = u"一時停止";
constexpr const char16_t* AUDIO_DATA_GROUP = u"音声データ";
constexpr const char16_t* CHOOSE_FILE = u"...";
constexpr const char16_t* FILE_LABEL = u"ファイル:";
constexpr const char16_t* OUTPUT_DEVICE_GROUP = u"出力先デバイス";
constexpr const char16_t* MAXIMUM_RATE_LABEL = u"許容最大サンプリング周波数: ";
constexpr const char16_t* EFFECTIVE_BITS_LABEL = u"有効な量子化ビット数: ";
constexpr const char16_t* ENHANCER = u"分解能エンハンサー";
constexpr const char16_t* BIT_UNIT = u"bit";
constexpr const char16_t* INITIAL_SPEED_LABEL = u"x1.00";
constexpr const char16_t* INITIAL_VOLUME_LABEL = u"dB";
constexpr const char16_t* SETTINGS = u"設定";
constexpr const char16_t* DEFAULT_DEVICE = u"既定のオーディオ再生デバイス";

// The two information lists.
constexpr const char16_t* COLUMN_ITEM = u"項目";
constexpr const char16_t* COLUMN_VALUE = u"値";
constexpr const char16_t* ROW_SAMPLING_FREQUENCY = u"サンプリング周波数 (Hz)";
constexpr const char16_t* ROW_CHANNELS = u"チャンネル数";
constexpr const char16_t* ROW_BITS = u"量子化ビット数";
constexpr const char16_t* ROW_LENGTH = u"データ長 (秒)";
constexpr const char16_t* ROW_LOGICAL_BITS = u"論理量子化ビット数";
constexpr const char16_t* ROW_MODE = u"動作モード";
constexpr const char16_t* MODE_EXCLUSIVE = u"排他モード";
constexpr const char16_t* MODE_SHARED = u"共有モード";

// The file dialog's filters: every supported file first (its patterns follow the name in
// parentheses), then WAV files alone.
constexpr const char16_t* FILE_FILTER_ALL_NAME = u"Audio Files";
constexpr const char16_t* FILE_FILTER_NAME = u"Wave Data File(*.wav)";
constexpr const char16_t* FILE_FILTER_PATTERN = u"*.wav";
// The file list's bits for a file that has none (lossy codings).
constexpr const char16_t* NO_BITS = u"-";

// The progress bar's menu (its keys after the tab) and tooltip.
constexpr const char16_t* MENU_LOOP_START = u"ループ開始\tA";
constexpr const char16_t* MENU_LOOP_END = u"ループ終了\tB";
constexpr const char16_t* MENU_LOOP_CLEAR = u"ループ解除\tL";
constexpr const char16_t* MENU_TRAINER = u"スピードトレーナー\tT";
constexpr const char16_t* MENU_KEEP_PITCH = u"音程を保つ\tK";
constexpr const char16_t* TOOLTIP_PLACE_FORMAT = u"%s / %s";
constexpr const char16_t* TOOLTIP_LOOP_FORMAT = u"ループ A %s – B %s（%u 回目）";
constexpr const char16_t* TOOLTIP_LOOP_START_FORMAT = u"ループ開始 %s";
constexpr const char16_t* TOOLTIP_TRAINER_NEXT_FORMAT = u"スピードトレーナー: 次は x%.2lf";
constexpr const char16_t* TOOLTIP_TRAINER_DONE_FORMAT = u"スピードトレーナー: x%.2lf に到達";
// Nudging the loop's points, the markers, the run-up and the remembered practice.
constexpr const char16_t* MENU_NUDGE_START_EARLIER = u"A を 10 ms 前へ\tZ";
constexpr const char16_t* MENU_NUDGE_START_LATER = u"A を 10 ms 後へ\tX";
constexpr const char16_t* MENU_NUDGE_START_EARLIER_FAR = u"A を 100 ms 前へ\tS";
constexpr const char16_t* MENU_NUDGE_START_LATER_FAR = u"A を 100 ms 後へ\tD";
constexpr const char16_t* MENU_NUDGE_END_EARLIER = u"B を 10 ms 前へ\tC";
constexpr const char16_t* MENU_NUDGE_END_LATER = u"B を 10 ms 後へ\tV";
constexpr const char16_t* MENU_NUDGE_END_EARLIER_FAR = u"B を 100 ms 前へ\tF";
constexpr const char16_t* MENU_NUDGE_END_LATER_FAR = u"B を 100 ms 後へ\tG";
constexpr const char16_t* MENU_MARKER_ADD = u"マーカーを追加\tM";
constexpr const char16_t* MENU_MARKER_REMOVE = u"近くのマーカーを削除\tE";
constexpr const char16_t* TOOLTIP_NUDGED_START_FORMAT = u"ループ開始 → %s";
constexpr const char16_t* TOOLTIP_NUDGED_END_FORMAT = u"ループ終了 → %s";
constexpr const char16_t* TOOLTIP_RUN_UP_FORMAT = u"助走 %.1lf 秒（最初だけ）";
constexpr const char16_t* TOOLTIP_RUN_UP_EVERY_FORMAT = u"助走 %.1lf 秒（毎回）";
constexpr const char16_t* TOOLTIP_MARKERS_FORMAT = u"マーカー %u/%u";
constexpr const char16_t* TOOLTIP_STATE_DAMAGED = u"保存された練習の状態が壊れていたため、使いませんでした";
// Keep pitch on: the tooltip's line, and the terminal's status word.
constexpr const char16_t* TOOLTIP_KEEP_PITCH = u"音程を保つ（テンポだけが変わる）";
constexpr const char16_t* STATUS_KEEP_PITCH = u"音程保持";
} // namespace PlayerTexts
