// Writes the player's demo piece: 20 s of a plucked melody over a bass line, 44.1 kHz, 16-bit stereo.
// Clear pitches and sharp attacks, so speed and pitch changes are easy to hear. Deterministic: the
// same bytes on every machine (one fixed random sequence, no time or platform input).
//
//   make-demo-piece OUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
constexpr uint32_t RATE = 44100;
constexpr double SECONDS = 20.0;
constexpr uint32_t FRAMES = static_cast<uint32_t>(RATE * SECONDS);
constexpr double BEAT = 0.5; // 120 beats a minute
constexpr double PI = 3.14159265358979323846;
constexpr double PEAK = 0.89; // about -1 dB

double NoteHz(int iMidi)
{
    return 440.0 * std::pow(2.0, (iMidi - 69) / 12.0);
}

// A fixed pseudo-random sequence for the pluck's excitation.
struct Lcg
{
    uint32_t uiState = 12345;
    double Next()
    {
        uiState = uiState * 1664525u + 1013904223u;
        return static_cast<double>(uiState >> 8) / 8388608.0 - 1.0;
    }
};

// A plucked string: a delay line filled with noise, averaged as it circulates.
void Pluck(std::vector<double>& Out, Lcg& Noise, double dfStart, double dfHz, double dfSeconds,
           double dfLevel)
{
    const size_t uPeriod = static_cast<size_t>(std::lround(RATE / dfHz));
    std::vector<double> Line(uPeriod);
    for (double& dfValue : Line)
    {
        dfValue = Noise.Next();
    }
    const size_t uFirst = static_cast<size_t>(dfStart * RATE);
    const size_t uCount = static_cast<size_t>(dfSeconds * RATE);
    double dfPrevious = 0.0;
    for (size_t i = 0; i < uCount && uFirst + i < Out.size(); ++i)
    {
        const size_t uAt = i % uPeriod;
        const double dfValue = Line[uAt];
        Line[uAt] = 0.996 * 0.5 * (dfValue + dfPrevious);
        dfPrevious = dfValue;
        // A short fade at the end of the note keeps the cut silent.
        const double dfTail = std::min(1.0, static_cast<double>(uCount - i) / (0.01 * RATE));
        Out[uFirst + i] += dfLevel * dfValue * dfTail;
    }
}

// A bass note: fundamental and two overtones under a fast attack and an exponential decay.
void Bass(std::vector<double>& Out, double dfStart, double dfHz, double dfSeconds, double dfLevel)
{
    const size_t uFirst = static_cast<size_t>(dfStart * RATE);
    const size_t uCount = static_cast<size_t>(dfSeconds * RATE);
    for (size_t i = 0; i < uCount && uFirst + i < Out.size(); ++i)
    {
        const double dfTime = static_cast<double>(i) / RATE;
        const double dfEnvelope = std::min(1.0, dfTime / 0.005) * std::exp(-dfTime * 3.0) *
                                  std::min(1.0, static_cast<double>(uCount - i) / (0.01 * RATE));
        const double dfPhase = 2.0 * PI * dfHz * dfTime;
        Out[uFirst + i] +=
            dfLevel * dfEnvelope *
            (std::sin(dfPhase) + 0.35 * std::sin(2.0 * dfPhase) + 0.15 * std::sin(3.0 * dfPhase));
    }
}

void Put16(std::FILE* pFile, uint32_t uiValue)
{
    const uint8_t Bytes[2] = {static_cast<uint8_t>(uiValue), static_cast<uint8_t>(uiValue >> 8)};
    std::fwrite(Bytes, 1, 2, pFile);
}

void Put32(std::FILE* pFile, uint32_t uiValue)
{
    Put16(pFile, uiValue & 0xffff);
    Put16(pFile, uiValue >> 16);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make-demo-piece OUT.wav\n");
        return 1;
    }
    std::vector<double> Melody(FRAMES, 0.0);
    std::vector<double> Low(FRAMES, 0.0);
    Lcg Noise;
    // Two bars each of C, A minor, F and G (roots as MIDI notes), then C to close.
    const int ROOTS[] = {48, 45, 41, 43, 48, 45, 41, 43, 48, 48};
    // The melody's eighth notes per bar, as scale steps above the chord root (C major pentatonic
    // shapes), -1 a rest.
    const int PATTERN[2][8] = {{12, 16, 19, 24, 19, 16, 14, 16}, {12, 19, 16, 21, 19, -1, 16, 12}};
    const double BAR = 4.0 * BEAT;
    const int BAR_COUNT = static_cast<int>(SECONDS / BAR);
    for (int iBar = 0; iBar < BAR_COUNT; ++iBar)
    {
        const double dfBarStart = iBar * BAR;
        const int iRoot = ROOTS[iBar];
        const bool bLast = iBar == BAR_COUNT - 1;
        for (int iBeat = 0; iBeat < 4; ++iBeat)
        {
            const int iNote = iBeat == 2 ? iRoot + 7 : iRoot; // root, root, fifth, root
            Bass(Low, dfBarStart + iBeat * BEAT, NoteHz(iNote), bLast ? 3.9 * BEAT : 0.95 * BEAT, 0.35);
            if (bLast)
            {
                break;
            }
        }
        for (int iEighth = 0; iEighth < 8; ++iEighth)
        {
            const int iStep = PATTERN[iBar % 2][iEighth];
            if (iStep < 0 || (bLast && iEighth > 0))
            {
                continue;
            }
            const int iNote = iRoot + iStep + (iBar % 4 == 3 ? 2 : 0);
            Pluck(Melody, Noise, dfBarStart + iEighth * BEAT / 2.0, NoteHz(iNote), bLast ? BAR : 0.9 * BEAT,
                  0.5);
        }
    }
    // Melody a little right, bass a little left; the last half second fades out.
    std::vector<double> Frames(2 * static_cast<size_t>(FRAMES));
    double dfPeak = 0.0;
    for (uint32_t i = 0; i < FRAMES; ++i)
    {
        const double dfFade = std::min(1.0, static_cast<double>(FRAMES - i) / (0.5 * RATE));
        Frames[2 * i] = dfFade * (0.4 * Melody[i] + 0.6 * Low[i]);
        Frames[2 * i + 1] = dfFade * (0.6 * Melody[i] + 0.4 * Low[i]);
        dfPeak = std::max({dfPeak, std::fabs(Frames[2 * i]), std::fabs(Frames[2 * i + 1])});
    }
    const double dfScale = dfPeak > 0.0 ? PEAK / dfPeak : 0.0;

    std::FILE* pFile = std::fopen(argv[1], "wb");
    if (pFile == nullptr)
    {
        std::fprintf(stderr, "make-demo-piece: cannot create %s\n", argv[1]);
        return 1;
    }
    const uint32_t uiDataBytes = FRAMES * 4;
    std::fwrite("RIFF", 1, 4, pFile);
    Put32(pFile, 36 + uiDataBytes);
    std::fwrite("WAVEfmt ", 1, 8, pFile);
    Put32(pFile, 16);
    Put16(pFile, 1); // integer PCM
    Put16(pFile, 2);
    Put32(pFile, RATE);
    Put32(pFile, RATE * 4);
    Put16(pFile, 4);
    Put16(pFile, 16);
    std::fwrite("data", 1, 4, pFile);
    Put32(pFile, uiDataBytes);
    for (double dfSample : Frames)
    {
        const long lValue = std::lround(std::clamp(dfSample * dfScale, -1.0, 1.0) * 32767.0);
        Put16(pFile, static_cast<uint32_t>(static_cast<int32_t>(lValue)) & 0xffff);
    }
    const bool bWritten = std::fflush(pFile) == 0 && std::ferror(pFile) == 0;
    if (std::fclose(pFile) != 0 || !bWritten)
    {
        std::fprintf(stderr, "make-demo-piece: writing %s failed\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
